#include "mapoptions.h"

#include <getopt.h>

#include <cstring>

namespace {

enum LongOnly { OpenOption = 0x100 };

const option longOptions[] = {
    {"files", no_argument, nullptr, 'f'},
    {"open", no_argument, nullptr, OpenOption},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

std::string badOption(const char *argument, int option)
{
    if (option == 0)
        return "unrecognized option '" + std::string(argument) + "'";
    // A long option given a value it does not take; `argument` is the
    // option's own word only then, not when a short one was wrong.
    if (std::strncmp(argument, "--", 2) == 0 && std::strchr(argument, '='))
        return "option '" + std::string(argument, std::strcspn(argument, "=")) + "' doesn't allow an argument";
    return "invalid option -- '" + std::string(1, char(option)) + "'";
}

} // namespace

std::string parseMapOptions(int argc, char **argv, MapOptions &options)
{
    opterr = 0;
    optind = 0; // starts the scan afresh
    for (int option; (option = ::getopt_long(argc, argv, "fqhv", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'f':
            options.listFiles = true;
            break;
        case OpenOption:
            options.open = true;
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
            return badOption(argv[optind - 1], optopt);
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
