#include "mapoptions.h"

#include <getopt.h>

#include <cstring>

namespace {

enum LongOnly { OpenOption = 0x100, FormatOption };

const option longOptions[] = {
    {"files", no_argument, nullptr, 'f'},
    {"format", required_argument, nullptr, FormatOption},
    {"open", no_argument, nullptr, OpenOption},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

std::string badOption(const char *argument, int option, bool argumentMissing)
{
    if (argumentMissing)
        return "option '" + std::string(argument) + "' requires an argument";
    if (option == 0)
        return "unrecognized option '" + std::string(argument) + "'";
    // A long option given a value it does not take; `argument` is the
    // option's own word only then, not when a short one was wrong.
    if (std::strncmp(argument, "--", 2) == 0 && std::strchr(argument, '='))
        return "option '" + std::string(argument, std::strcspn(argument, "=")) + "' doesn't allow an argument";
    return "invalid option -- '" + std::string(1, char(option)) + "'";
}

bool readFormat(const std::string &name, ReportFormat &format)
{
    if (name == "html")
        format = ReportFormat::Html;
    else if (name == "json")
        format = ReportFormat::Json;
    else
        return false;
    return true;
}

} // namespace

std::string parseMapOptions(int argc, char **argv, MapOptions &options)
{
    opterr = 0;
    optind = 0; // starts the scan afresh
    // The leading colon tells a missing argument from an unknown option.
    for (int option; (option = ::getopt_long(argc, argv, ":fqhv", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'f':
            options.listFiles = true;
            break;
        case OpenOption:
            options.open = true;
            break;
        case FormatOption:
            if (!readFormat(optarg, options.format))
                return "invalid argument '" + std::string(optarg) + "' for '--format'\nValid arguments are 'html' and 'json'.";
            break;
        case 'q':
            options.quiet = true;
            break;
        case 'h':
            options.help = true;
            break;
        case 'v':
            options.version = true;
            break;
        default:
            return badOption(argv[optind - 1], optopt, option == ':');
        }
    }
    if (options.help || options.version)
        return {};
    if (argc - optind != 2)
        return "expected ROOT and OUTPUT";
    options.root = argv[optind];
    options.output = argv[optind + 1];
    if (options.open && options.output == "-")
        return "--open needs an OUTPUT file, not -";
    return {};
}
