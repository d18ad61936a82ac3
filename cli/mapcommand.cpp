#include "mapcommand.h"

#include "exclusionrules.h"
#include "exitstatus.h"
#include "mapjob.h"
#include "mapstage.h"
#include "messages.h"
#include "outputfile.h"
#include "outputpath.h"
#include "reportopener.h"
#include "sizetext.h"
#include "terminalprogress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

namespace {

bool sameFile(int first, int second)
{
    struct stat a;
    struct stat b;
    return ::fstat(first, &a) == 0 && ::fstat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The descriptor the report goes into where it is one of the process's own
// (standard output for "-", /dev/stdout, /dev/fd/N, ...); -1 otherwise.
int reportDescriptor(const std::string &output)
{
    return output == "-" ? STDOUT_FILENO : ownDescriptorNamedBy(output);
}

// The walk's rules as the options give them, with exclusions only where
// patterns were given.
struct ChosenRules
{
    WalkRules walk;
    std::unique_ptr<ExclusionRules> exclusions;

    ChosenRules(const MapOptions &options, std::vector<std::string> excludePatterns)
    {
        walk.followLinks = options.followLinks;
        walk.oneFileSystem = options.oneFileSystem;
        walk.order = options.order;
        walk.readMetadata = options.sizes;
        // ncdu shows where its patterns left something out.
        walk.listExcluded = options.format == ReportFormat::Ncdu;
        if (!excludePatterns.empty()) {
            exclusions = std::make_unique<ExclusionRules>(std::move(excludePatterns));
            walk.exclusions = exclusions.get();
        }
    }
};

// "1 file", "2 files".
std::string counted(std::uint64_t count, const char *what)
{
    return std::to_string(count) + ' ' + what + (count == 1 ? "" : "s");
}

// " (3517 excluded, 2 other file systems)" where anything was left out.
std::string leftOut(std::uint64_t excluded, std::uint64_t otherFileSystems)
{
    std::string text;
    if (excluded > 0)
        text = std::to_string(excluded) + " excluded";
    if (otherFileSystems > 0)
        text += (text.empty() ? "" : ", ") + counted(otherFileSystems, "other file system");
    return text.empty() ? text : " (" + text + ")";
}

// Runs the map once the command line has been read.
class MapCommand
{
public:
    MapCommand(const MapOptions &options, std::vector<std::string> excludePatterns, const Interruption &interruption)
        : m_options(options)
        , m_toStandardOutput(options.output == "-")
        , m_reportFd(reportDescriptor(options.output))
        , m_reportOnStandardOutput(m_toStandardOutput || (m_reportFd >= 0 && sameFile(m_reportFd, STDOUT_FILENO)))
        , m_onTerminal(::isatty(STDERR_FILENO) == 1)
        // Progress never shares the terminal with the report itself.
        , m_reportOnTerminal(m_reportFd >= 0 && m_onTerminal && sameFile(m_reportFd, STDERR_FILENO))
        , m_interruption(interruption)
        , m_progress(!options.quiet && m_onTerminal && !m_reportOnTerminal)
        // With the report on standard output, the walks' error lines keep out of it.
        , m_errorLines((m_reportOnStandardOutput ? std::cerr : std::cout).rdbuf(), m_progress)
        , m_errors(&m_errorLines)
        , m_job(options.root, m_errors)
        , m_rules(options, std::move(excludePatterns))
    {
        if (m_reportFd >= 0 && !m_reportOnStandardOutput && sameFile(m_reportFd, STDERR_FILENO))
            sendMessagesToStandardOutput();
        m_job.setCancel(m_interruption.flag());
        m_job.setRules(&m_rules.walk);
        m_job.prepareFor(options.format);
    }

    int run()
    {
        const auto started = std::chrono::steady_clock::now();
        if (!m_job.count(m_progress.stage(stageName(MapStage::Counting))))
            return failed();
        for (const UnreadableDirectory &directory : m_job.unreadableDirectories())
            say("cannot read directory " + inQuotes(directory.path) + ": " + std::strerror(directory.error));
        for (const UnreadableDirectory &entry : m_job.unreadableEntries())
            say("cannot read the size of " + inQuotes(entry.path) + ": " + std::strerror(entry.error));
        // The report is written as it is made, into a file opened only
        // now, so that a report inside the root is not listed.
        std::size_t bytes = 0;
        std::string reason;
        bool written;
        if (m_toStandardOutput) {
            written = m_job.map(m_options.format, m_options.listed, [&](std::string_view piece) {
                bytes += piece.size();
                if (writeToStandardOutput(piece))
                    return true;
                reason = std::strerror(errno);
                return false;
            }, m_progress.stage(stageName(MapStage::Mapping)));
        } else {
            OutputFile file(m_options.output, m_interruption.flag());
            written = m_job.map(m_options.format, m_options.listed, [&](std::string_view piece) {
                bytes += piece.size();
                return file.write(piece);
            }, m_progress.stage(stageName(MapStage::Mapping)));
            m_progress.stage(stageName(MapStage::Writing));
            written = written && file.commit();
            reason = file.errorString();
        }
        m_progress.clear();
        // The listing is whole: what no pattern matched, no pattern will.
        if (m_rules.exclusions && !m_interruption.requested()) {
            for (const std::string &pattern : m_rules.exclusions->unmatched())
                say("exclude pattern " + inQuotes(pattern) + " matched nothing");
        }
        if (!written) {
            if (m_interruption.requested())
                return m_interruption.exitStatus();
            if (m_job.failure() != MapFailure::NotWritten && m_job.failure() != MapFailure::None)
                return failed();
            say(m_toStandardOutput ? "cannot write the report to standard output: " + reason
                                   : "cannot write " + inQuotes(m_options.output) + ": " + reason);
            return NotWritten;
        }
        // The report is in place: a stop asked for now came too late to keep
        // the earlier one, and the status says what happened.
        if (m_interruption.requested())
            return completeness();
        if (m_options.open && !openReport(m_options.output))
            say("the report was written, but xdg-open could not be started to open it");
        if (!m_options.quiet && m_onTerminal)
            summarize(bytes, std::chrono::steady_clock::now() - started);
        return completeness();
    }

    bool walkersLeftBehind() const { return m_job.walkersLeftBehind(); }

private:
    void say(const std::string &message)
    {
        m_progress.clear();
        complain(message);
    }

    // Of a report that was written.
    int completeness() const
    {
        return m_job.unreadableDirectories().empty() && m_job.unreadableEntries().empty() ? Written : WrittenIncomplete;
    }

    int failed()
    {
        m_progress.clear();
        if (m_interruption.requested())
            return m_interruption.exitStatus();
        say(commandLineMessage(m_job.failure(), m_options.root, m_job.failureText()));
        return NotWritten;
    }

    void summarize(std::size_t bytes, std::chrono::steady_clock::duration took)
    {
        // The report ends without a line break.
        if (m_reportOnTerminal)
            std::fputc('\n', stderr);
        const std::string omitted
            = leftOut(m_rules.exclusions ? m_rules.exclusions->excludedCount() : 0, m_job.otherFileSystemCount());
        const SubtreeSizes::Totals *sizes = m_job.treeSizes();
        const std::string size = sizes ? "apparent size " + sizeText(sizes->apparentBytes) + "; " : "";
        std::fprintf(stderr, "velmora-map: %s, %s%s; %s%zu bytes written in %.2f s\n",
                     counted(std::uint64_t(m_job.folderCount()), "folder").c_str(),
                     counted(std::uint64_t(m_job.fileCount()), "file").c_str(), omitted.c_str(), size.c_str(), bytes,
                     std::chrono::duration<double>(took).count());
    }

    const MapOptions &m_options;
    const bool m_toStandardOutput;
    const int m_reportFd;
    const bool m_reportOnStandardOutput;
    const bool m_onTerminal;
    const bool m_reportOnTerminal;
    const Interruption &m_interruption;
    TerminalProgress m_progress;
    ProgressClearingBuffer m_errorLines;
    std::ostream m_errors;
    MapJob m_job;
    const ChosenRules m_rules;
};

} // namespace

int runMapCommand(const MapOptions &options, std::vector<std::string> excludePatterns, const Interruption &interruption)
{
    auto command = std::make_unique<MapCommand>(options, std::move(excludePatterns), interruption);
    const int status = command->run();
    // A thread of the listing stuck in a file system that stopped answering
    // still reads the exclusion rules: they stay until the process ends.
    if (command->walkersLeftBehind())
        static_cast<void>(command.release());
    return status;
}
