#include "mapcommand.h"

#include "directorytest.h"
#include "mapjob.h"
#include "mapoptions.h"
#include "outputfile.h"
#include "reportopener.h"
#include "treewalk.h"
#include "version.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

enum ExitStatus { Written = 0, NotWritten = 1, UsageError = 2 };

const char usageText[] =
    "Usage: velmora-map [OPTION]... ROOT OUTPUT\n"
    "Map the directory tree below ROOT into an HTML report written to OUTPUT:\n"
    "the numbers of folders and files, and a nested list of the tree.\n"
    "With OUTPUT -, the report goes to standard output.\n"
    "\n"
    "  -f, --files    map files too, not only directories\n"
    "      --open     open the written report with the desktop's default program\n"
    "  -q, --quiet    print no progress\n"
    "  -h, --help     display this help and exit\n"
    "  -v, --version  output version information and exit\n"
    "\n"
    "Exit status:\n"
    "  0  the report was written\n"
    "  1  the report could not be written; an earlier report is left as it was\n"
    "  2  a usage error, or ROOT is not a directory that can be mapped\n";

// Messages carry paths as the bytes they were given.
void complain(const std::string &message)
{
    std::cerr << "velmora-map: " << message << std::endl;
}

std::string quoted(const std::string &path)
{
    return '\'' + path + '\'';
}

// Help and version go to standard output, which may be a full disk.
int printAndExit(const std::string &text)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return Written;
    const int error = errno;
    complain(std::string("write error: ") + std::strerror(error));
    return NotWritten;
}

// The stage and the number of entries seen so far, redrawn in place on
// standard error a few times a second while it is a terminal.
class TerminalProgress
{
public:
    explicit TerminalProgress(bool enabled)
        : m_enabled(enabled && ::isatty(STDERR_FILENO))
    {
        m_hook.interval = 4096;
        m_hook.report = [this](std::uint64_t entries) { update(entries); };
    }
    ~TerminalProgress() { clear(); }

    const WalkProgress *stage(const char *name)
    {
        if (!m_enabled)
            return nullptr;
        m_stage = name;
        draw(0);
        return &m_hook;
    }

    void clear()
    {
        if (m_enabled && m_drawn)
            std::fputs("\r\033[K", stderr);
        m_drawn = false;
    }

private:
    void update(std::uint64_t entries)
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastDraw >= std::chrono::milliseconds(250))
            draw(entries);
    }

    void draw(std::uint64_t entries)
    {
        m_lastDraw = std::chrono::steady_clock::now();
        if (entries > 0)
            std::fprintf(stderr, "\r\033[K%s: %llu entries", m_stage, static_cast<unsigned long long>(entries));
        else
            std::fprintf(stderr, "\r\033[K%s...", m_stage);
        std::fflush(stderr);
        m_drawn = true;
    }

    const bool m_enabled;
    bool m_drawn = false;
    const char *m_stage = "";
    std::chrono::steady_clock::time_point m_lastDraw;
    WalkProgress m_hook;
};

std::string failureMessage(MapFailure failure, const std::string &root)
{
    switch (failure) {
    case MapFailure::OutOfMemory:
        return "not enough memory to map " + quoted(root);
    case MapFailure::TooManyEntries:
        return quoted(root) + " has more entries than a report can count";
    case MapFailure::OutOfDescriptors:
        return "cannot map " + quoted(root) + ": " + std::strerror(EMFILE);
    case MapFailure::None:
    case MapFailure::Cancelled:
        break;
    }
    return "cannot map " + quoted(root);
}

bool writeToStandardOutput(const std::string &report, std::string &reason)
{
    if (std::fwrite(report.data(), 1, report.size(), stdout) == report.size() && std::fflush(stdout) == 0)
        return true;
    reason = std::strerror(errno);
    return false;
}

} // namespace

int runMapCommand(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    MapOptions options;
    const std::string problem = parseMapOptions(argc, argv, options);
    if (!problem.empty()) {
        complain(problem + "\nTry 'velmora-map --help' for more information.");
        return UsageError;
    }
    if (options.help)
        return printAndExit(usageText);
    if (options.version)
        return printAndExit("velmora-map " + versionText + '\n');

    if (const int error = directoryTestError(options.root)) {
        complain("cannot map " + quoted(options.root) + ": " + std::strerror(error));
        return UsageError;
    }

    const bool toStandardOutput = options.output == "-";
    // With the report on standard output, the walks' error lines keep out of it.
    MapJob job(options.root, toStandardOutput ? std::cerr : std::cout);
    TerminalProgress progress(!options.quiet);
    if (!job.count(progress.stage("counting")) || !job.map(!options.listFiles, progress.stage("mapping"))) {
        progress.clear();
        complain(failureMessage(job.failure(), options.root));
        return NotWritten;
    }
    progress.stage("writing");
    const std::string report = job.finish();

    std::string reason;
    bool written;
    if (toStandardOutput) {
        written = writeToStandardOutput(report, reason);
    } else {
        OutputFile file(options.output);
        written = file.write(report) && file.commit();
        reason = file.errorString();
    }
    progress.clear();
    if (!written) {
        complain(toStandardOutput ? "cannot write the report to standard output: " + reason
                                  : "cannot write " + quoted(options.output) + ": " + reason);
        return NotWritten;
    }
    if (options.open && !openReport(options.output))
        complain("the report was written, but xdg-open could not be started to open it");
    return Written;
}
