#include "mapcommand.h"

#include "directorytest.h"
#include "excludepatterns.h"
#include "exclusionrules.h"
#include "interruption.h"
#include "mapjob.h"
#include "mapoptions.h"
#include "outputfile.h"
#include "reportopener.h"
#include "terminalprogress.h"
#include "version.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

namespace {

enum ExitStatus { Written = 0, NotWritten = 1, UsageError = 2, WrittenIncomplete = 3 };

const char usageText[] =
    "Usage: velmora-map [OPTION]... ROOT OUTPUT\n"
    "Map the directory tree below ROOT into an HTML report written to OUTPUT:\n"
    "the numbers of folders and files, and a nested list of the tree.\n"
    "With OUTPUT -, the report goes to standard output.\n"
    "\n"
    "  -f, --files          map files too, not only directories\n"
    "      --format=FORMAT  write the report as html (the default), json, or browse:\n"
    "                       a page that shows the tree folded and finds names in it\n"
    "      --open           open the written report with the desktop's default program\n"
    "  -q, --quiet          print no progress and no summary\n"
    "  -h, --help           display this help and exit\n"
    "  -v, --version        output version information and exit\n"
    "\n"
    "What is mapped, and in what order:\n"
    "  -x, --one-file-system\n"
    "                       do not enter a directory on another file system than\n"
    "                       ROOT's, its device told after following links (a bind\n"
    "                       mount from ROOT's own file system is entered)\n"
    "  -P, --no-follow      list symbolic links below ROOT as files, never following\n"
    "                       them; ROOT itself is followed if it is a link\n"
    "      --exclude=PATTERN\n"
    "                       leave out what PATTERN matches, as rsync's --exclude\n"
    "                       does; may be given more than once\n"
    "      --exclude-from=FILE\n"
    "                       read exclude patterns from FILE (- for standard input),\n"
    "                       one a line; blank lines and lines starting with # or ;\n"
    "                       are skipped, and \"- \" before a pattern is dropped\n"
    "      --sort=ORDER     list each directory's entries by name (the bytes of the\n"
    "                       names, whatever the locale: B before a, file10 before\n"
    "                       file2) or by version (digit runs by value: file2 before\n"
    "                       file10); by default, in the file system's order\n"
    "\n"
    "Each directory that cannot be read is named on standard error.\n"
    "\n"
    "Exclude patterns follow rsync's rules. A pattern without \"/\" matches a name\n"
    "at any depth; one that starts with \"/\" is anchored at ROOT (\"/build\" is\n"
    "ROOT/build only); one that ends in \"/\" matches directories only; one with a\n"
    "\"/\" elsewhere matches the end of the path (\"src/gen\" is every gen in a\n"
    "directory named src). \"*\" and \"?\" match within a name, \"**\" across \"/\" too,\n"
    "and \"[...]\" one byte of a class; names are matched byte by byte, whatever\n"
    "the locale. An excluded entry is neither listed nor counted, and nothing\n"
    "below an excluded directory is read. Each pattern that matched nothing is\n"
    "named on standard error at the end.\n"
    "\n"
    "With --format=json the report is one JSON document on one line, such as\n"
    "  {\"format_version\":1,\"folders\":1,\"files\":2,\"files_listed\":true,\n"
    "   \"tree\":{\"name\":\"ROOT\",\"type\":\"directory\",\"contents\":[\n"
    "    {\"name\":\"a.txt\",\"type\":\"file\"},\n"
    "    {\"name\":\"sub\",\"type\":\"directory\",\"contents\":[{\"name\":\"b.txt\",\"type\":\"file\"}]}]}}\n"
    "A directory that was not entered has a \"reason\" and no \"contents\"; one read\n"
    "only in part has both. A name that is not valid UTF-8 has U+FFFD for each\n"
    "stray byte, and its exact bytes as numbers in \"name_bytes\". The ten\n"
    "directories with the most entries:\n"
    "  velmora-map -f --format=json ROOT - | jq -r 'def dirs($p): ($p + .name) as $q\n"
    "    | select(.type == \"directory\") | [(.contents // [] | length), $q],\n"
    "    (.contents[]? | dirs($q + \"/\")); [.tree | dirs(\"\")] | sort_by(-.[0])\n"
    "    | .[:10][] | \"\\(.[0])\\t\\(.[1])\"'\n"
    "\n"
    "With --format=browse the report is one HTML page, pure ASCII and needing\n"
    "nothing outside it, whose script shows the tree with its first level open:\n"
    "each folder with the numbers of folders and files below it, and why it was\n"
    "not entered or read whole. Folders open by mouse or keyboard (arrows, Enter,\n"
    "* for all below); column heads sort each folder by name or by those numbers;\n"
    "a field finds names containing the text typed, or matching it whole with *\n"
    "and ?, letters in either case. It needs JavaScript; without, it shows the two\n"
    "counts. A page of a million entries is about 20 MB, smaller than the report.\n"
    "\n"
    "Examples:\n"
    "  velmora-map -x / root-file-system.html\n"
    "  velmora-map -P ~ home.html\n"
    "  velmora-map --exclude=node_modules/ ~/src src.html\n"
    "  velmora-map --exclude-from=backup.excludes ~ home.html\n"
    "  velmora-map -f --sort=name ~/photos photos.html\n"
    "  velmora-map -f --format=browse /srv/share share.html\n"
    "\n"
    "Exit status:\n"
    "  0  the report was written\n"
    "  1  the report could not be written; an earlier report is left as it was\n"
    "  2  a usage error, or ROOT is not a directory that can be mapped\n"
    "  3  the report was written, but some directories could not be read\n"
    "  129, 130, 143  SIGHUP, SIGINT or SIGTERM ended the run; an earlier\n"
    "                 report is left as it was\n";

std::string inQuotes(const std::string &path)
{
    return '\'' + path + '\'';
}

// Messages carry paths as the bytes they were given.
void complain(const std::string &message)
{
    std::cerr << "velmora-map: " << message << std::endl;
}

// Help and version go to standard output, which may be a full disk.
int printAndExit(const std::string &text)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return Written;
    complain(std::string("write error: ") + std::strerror(errno));
    return NotWritten;
}

bool sameFile(int first, int second)
{
    struct stat a;
    struct stat b;
    return ::fstat(first, &a) == 0 && ::fstat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string failureMessage(MapFailure failure, const std::string &root)
{
    switch (failure) {
    case MapFailure::OutOfMemory:
        return "not enough memory to map " + inQuotes(root);
    case MapFailure::TooManyEntries:
        return inQuotes(root) + " has more entries than a report can count";
    case MapFailure::OutOfDescriptors:
        return "cannot map " + inQuotes(root) + ": " + std::strerror(EMFILE);
    case MapFailure::None:
    case MapFailure::Cancelled:
    case MapFailure::NotWritten:
        break;
    }
    return "cannot map " + inQuotes(root);
}

bool writeToStandardOutput(std::string_view piece, std::string &reason)
{
    if (std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size() && std::fflush(stdout) == 0)
        return true;
    reason = std::strerror(errno);
    return false;
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
        if (!excludePatterns.empty()) {
            exclusions = std::make_unique<ExclusionRules>(std::move(excludePatterns));
            walk.exclusions = exclusions.get();
        }
    }
};

// " (3517 excluded, 2 other file systems)" where anything was left out.
std::string leftOut(std::uint64_t excluded, std::uint64_t otherFileSystems)
{
    std::string text;
    if (excluded > 0)
        text = std::to_string(excluded) + " excluded";
    if (otherFileSystems > 0)
        text += (text.empty() ? "" : ", ") + std::to_string(otherFileSystems)
                + (otherFileSystems == 1 ? " other file system" : " other file systems");
    return text.empty() ? text : " (" + text + ")";
}

// Runs the map once the command line has been read.
class MapCommand
{
public:
    MapCommand(const MapOptions &options, std::vector<std::string> excludePatterns)
        : m_options(options)
        , m_toStandardOutput(options.output == "-")
        , m_onTerminal(::isatty(STDERR_FILENO) == 1)
        // Progress never shares the terminal with the report itself.
        , m_reportOnTerminal(m_toStandardOutput && m_onTerminal && sameFile(STDOUT_FILENO, STDERR_FILENO))
        , m_progress(!options.quiet && m_onTerminal && !m_reportOnTerminal)
        // With the report on standard output, the walks' error lines keep out of it.
        , m_errorLines((m_toStandardOutput ? std::cerr : std::cout).rdbuf(), m_progress)
        , m_errors(&m_errorLines)
        , m_job(options.root, m_errors)
        , m_rules(options, std::move(excludePatterns))
    {
        m_job.setCancel(m_interruption.flag());
        m_job.setRules(&m_rules.walk);
        m_job.setDirectoryTally(options.format == ReportFormat::Browse);
    }

    int run()
    {
        const auto started = std::chrono::steady_clock::now();
        if (!m_job.count(m_progress.stage("counting")))
            return failed();
        for (const UnreadableDirectory &directory : m_job.unreadableDirectories())
            say("cannot read directory " + inQuotes(directory.path) + ": " + std::strerror(directory.error));
        // The report is written as it is made, into a file opened only
        // now, so that a report inside the root is not listed.
        std::size_t bytes = 0;
        std::string reason;
        bool written;
        if (m_toStandardOutput) {
            written = m_job.map(!m_options.listFiles, [&](std::string_view piece) {
                bytes += piece.size();
                return writeToStandardOutput(piece, reason);
            }, m_progress.stage("mapping"), m_options.format);
        } else {
            OutputFile file(m_options.output, m_interruption.flag());
            written = m_job.map(!m_options.listFiles, [&](std::string_view piece) {
                bytes += piece.size();
                return file.write(piece);
            }, m_progress.stage("mapping"), m_options.format);
            m_progress.stage("writing");
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
            return m_job.unreadableDirectories().empty() ? Written : WrittenIncomplete;
        if (m_options.open && !openReport(m_options.output))
            say("the report was written, but xdg-open could not be started to open it");
        if (!m_options.quiet && m_onTerminal)
            summarize(bytes, std::chrono::steady_clock::now() - started);
        return m_job.unreadableDirectories().empty() ? Written : WrittenIncomplete;
    }

private:
    void say(const std::string &message)
    {
        m_progress.clear();
        complain(message);
    }

    int failed()
    {
        m_progress.clear();
        if (m_interruption.requested())
            return m_interruption.exitStatus();
        say(failureMessage(m_job.failure(), m_options.root));
        return NotWritten;
    }

    void summarize(std::size_t bytes, std::chrono::steady_clock::duration took)
    {
        // The report ends without a line break.
        if (m_reportOnTerminal)
            std::fputc('\n', stderr);
        const std::string omitted
            = leftOut(m_rules.exclusions ? m_rules.exclusions->excludedCount() : 0, m_job.otherFileSystemCount());
        std::fprintf(stderr, "velmora-map: %d folders, %d files%s; %zu bytes written in %.2f s\n", m_job.folderCount(),
                     m_job.fileCount(), omitted.c_str(), bytes, std::chrono::duration<double>(took).count());
    }

    const MapOptions &m_options;
    const bool m_toStandardOutput;
    const bool m_onTerminal;
    const bool m_reportOnTerminal;
    Interruption m_interruption;
    TerminalProgress m_progress;
    ProgressClearingBuffer m_errorLines;
    std::ostream m_errors;
    MapJob m_job;
    const ChosenRules m_rules;
};

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
    std::vector<std::string> excludePatterns;
    if (const std::string wrong = collectExcludePatterns(options.excludes, excludePatterns); !wrong.empty()) {
        complain(wrong);
        return UsageError;
    }
    if (const int error = rootDirectoryError(options.root)) {
        complain("cannot map " + inQuotes(options.root) + ": " + std::strerror(error));
        return UsageError;
    }
    return MapCommand(options, std::move(excludePatterns)).run();
}
