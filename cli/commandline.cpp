#include "commandline.h"

#include "directorytest.h"
#include "excludepatterns.h"
#include "exitstatus.h"
#include "messages.h"
#include "mapusage.h"
#include "version.h"

#include <cerrno>
#include <cstring>

namespace {

// Help and version go to standard output, which may be a full disk.
int printAndExit(const std::string &text)
{
    if (writeToStandardOutput(text))
        return Written;
    complain(std::string("write error: ") + std::strerror(errno));
    return NotWritten;
}

} // namespace

std::optional<int> readCommandLine(int argc, char **argv, MapOptions &options, std::vector<std::string> &excludePatterns)
{
    const std::string problem = parseMapOptions(argc, argv, options);
    if (!problem.empty()) {
        complain(problem + "\nTry 'velmora-map --help' for more information.");
        return UsageError;
    }
    if (options.help)
        return printAndExit(mapUsageText);
    if (options.version)
        return printAndExit("velmora-map " + versionText + '\n');
    if (const std::string wrong = collectExcludePatterns(options.excludes, excludePatterns); !wrong.empty()) {
        complain(wrong);
        return UsageError;
    }
    if (const int error = rootDirectoryError(options.root)) {
        complain("cannot map " + inQuotes(options.root) + ": " + std::strerror(error));
        return UsageError;
    }
    return std::nullopt;
}
