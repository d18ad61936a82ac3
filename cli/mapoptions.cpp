#include "mapoptions.h"

#include <getopt.h>

#include <cstring>
#include <string_view>
#include <vector>

namespace {

enum LongOnly { OpenOption = 0x100, FormatOption, SortOption, ExcludePatternOption, ExcludeFileOption, SizesOption };

const option longOptions[] = {
    {"files", no_argument, nullptr, 'f'},
    {"format", required_argument, nullptr, FormatOption},
    {"one-file-system", no_argument, nullptr, 'x'},
    {"no-follow", no_argument, nullptr, 'P'},
    {"sort", required_argument, nullptr, SortOption},
    {"sizes", no_argument, nullptr, SizesOption},
    {"exclude", required_argument, nullptr, ExcludePatternOption},
    {"exclude-from", required_argument, nullptr, ExcludeFileOption},
    {"open", no_argument, nullptr, OpenOption},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

// The long options that `argument` ("--name" or "--name=value") may stand
// for, as getopt_long abbreviates them.
std::vector<std::string_view> longOptionsStartingAs(const char *argument)
{
    const std::string_view given(argument + 2, std::strcspn(argument + 2, "="));
    std::vector<std::string_view> names;
    for (const option *candidate = longOptions; candidate->name; ++candidate) {
        if (std::string_view(candidate->name).substr(0, given.size()) == given)
            names.push_back(candidate->name);
    }
    return names;
}

std::string badOption(const char *argument, int option, bool argumentMissing)
{
    if (argumentMissing)
        return "option '" + std::string(argument) + "' requires an argument";
    // getopt_long found no long option by that name, or more than one that
    // it abbreviates (an exact name is taken as it is).
    if (option == 0 && std::strncmp(argument, "--", 2) == 0) {
        const std::vector<std::string_view> names = longOptionsStartingAs(argument);
        if (names.size() > 1) {
            std::string text = "option '" + std::string(argument) + "' is ambiguous; possibilities:";
            for (const std::string_view name : names)
                text.append(" '--").append(name).append("'");
            return text;
        }
    }
    if (option == 0)
        return "unrecognized option '" + std::string(argument) + "'";
    // A long option given a value it does not take; `argument` is the
    // option's own word only then, not when a short one was wrong.
    if (std::strncmp(argument, "--", 2) == 0 && std::strchr(argument, '='))
        return "option '" + std::string(argument, std::strcspn(argument, "=")) + "' doesn't allow an argument";
    return "invalid option -- '" + std::string(1, char(option)) + "'";
}

template <typename Value>
struct Choice
{
    const char *name;
    Value value;
};

constexpr Choice<ReportFormat> formats[] = {{"html", ReportFormat::Html},
                                            {"json", ReportFormat::Json},
                                            {"jsonl", ReportFormat::JsonLines},
                                            {"ncdu", ReportFormat::Ncdu},
                                            {"browse", ReportFormat::Browse}};
constexpr Choice<EntryOrder> orders[] = {{"name", EntryOrder::Name}, {"version", EntryOrder::Version}};

// Sets `value` to the choice named `argument` of `option`; gives what is
// wrong, or an empty text.
template <typename Value, std::size_t size>
std::string choose(const char *option, const std::string &argument, const Choice<Value> (&choices)[size], Value &value)
{
    std::string valid;
    for (std::size_t i = 0; i < size; ++i) {
        if (argument == choices[i].name) {
            value = choices[i].value;
            return {};
        }
        valid += (i == 0 ? "'" : i + 1 < size ? ", '" : " and '") + std::string(choices[i].name) + "'";
    }
    return "invalid argument '" + argument + "' for '" + option + "'\nValid arguments are " + valid + ".";
}

} // namespace

std::string parseMapOptions(int argc, char **argv, MapOptions &options)
{
    opterr = 0;
    optind = 0; // starts the scan afresh
    // The leading colon tells a missing argument from an unknown option.
    for (int option; (option = ::getopt_long(argc, argv, ":fqhvxP", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'f':
            options.listed = ListedEntries::FilesAndDirectories;
            break;
        case OpenOption:
            options.open = true;
            break;
        case FormatOption:
            if (std::string wrong = choose("--format", optarg, formats, options.format); !wrong.empty())
                return wrong;
            break;
        case 'x':
            options.oneFileSystem = true;
            break;
        case 'P':
            options.followLinks = false;
            break;
        case SortOption:
            if (std::string wrong = choose("--sort", optarg, orders, options.order); !wrong.empty())
                return wrong;
            break;
        case SizesOption:
            options.sizes = true;
            break;
        case ExcludePatternOption:
            options.excludes.push_back({false, optarg});
            break;
        case ExcludeFileOption:
            options.excludes.push_back({true, optarg});
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
    if (argc - optind < 2)
        return "expected ROOT and OUTPUT";
    if (argc - optind > 2) {
        std::string extra;
        for (int i = optind + 2; i < argc; ++i)
            extra += std::string(extra.empty() ? "" : " ") + "'" + argv[i] + "'";
        return "too many arguments: " + extra + " after ROOT and OUTPUT";
    }
    // Reading every entry's metadata costs a statx each: not for nothing.
    if (options.sizes && options.format == ReportFormat::Html)
        return "--sizes: the HTML report shows no sizes; use it with --format=json, jsonl, ncdu or browse";
    // The export that ncdu reads has no way of leaving files out.
    if (options.format == ReportFormat::Ncdu)
        options.listed = ListedEntries::FilesAndDirectories;
    options.root = argv[optind];
    options.output = argv[optind + 1];
    if (options.open && options.output == "-")
        return "--open needs an OUTPUT file, not -";
    return {};
}
