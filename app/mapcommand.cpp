#include "mapcommand.h"

#include "directorytest.h"
#include "mapjob.h"
#include "narrowtext.h"
#include "reportfile.h"
#include "reportopener.h"
#include "treewalk.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

namespace {

enum ExitStatus { Written = 0, NotWritten = 1, UsageError = 2 };

void complain(const QString &message)
{
    std::cerr << "velmora-map: " << message.toLocal8Bit().constData() << std::endl;
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

bool writeToStandardOutput(const std::string &report)
{
    return std::fwrite(report.data(), 1, report.size(), stdout) == report.size() && std::fflush(stdout) == 0;
}

} // namespace

int runMapCommand(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-map"));
    QCoreApplication::setApplicationVersion(fromNarrowText(versionText));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Maps the directory tree below ROOT into an HTML report written to OUTPUT:\n"
        "the numbers of folders and files, and a nested list of the tree."));
    const QCommandLineOption filesOption({"f", "files"}, "Map files too, not only directories.");
    const QCommandLineOption openOption("open", "Open the written report with the desktop's default program.");
    const QCommandLineOption quietOption({"q", "quiet"}, "Print no progress.");
    parser.addOptions({filesOption, openOption, quietOption});
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("ROOT", "The directory to map.");
    parser.addPositionalArgument("OUTPUT", "The report file to write, or - for standard output.");

    if (!parser.parse(QCoreApplication::arguments())) {
        complain(parser.errorText() + "\nTry 'velmora-map --help' for more information.");
        return UsageError;
    }
    if (parser.isSet("help")) {
        const QString usage = parser.helpText().replace(QCoreApplication::arguments().constFirst(), "velmora-map");
        std::cout << usage.toLocal8Bit().constData() << std::flush;
        return Written;
    }
    if (parser.isSet("version")) {
        std::cout << "velmora-map " << versionText << std::endl;
        return Written;
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.size() != 2) {
        complain(QStringLiteral("expected ROOT and OUTPUT\nTry 'velmora-map --help' for more information."));
        return UsageError;
    }
    const bool toStandardOutput = paths[1] == QLatin1String("-");
    if (toStandardOutput && parser.isSet(openOption)) {
        complain(QStringLiteral("--open needs an OUTPUT file, not -"));
        return UsageError;
    }

    const std::string rootPath = toNarrowText(paths[0]);
    const std::string outputPath = toNarrowText(paths[1]);
    if (!isDirectory(rootPath)) {
        complain(QStringLiteral("%1: not an existing directory").arg(paths[0]));
        return UsageError;
    }

    // With the report on standard output, the walks' error lines keep out of it.
    MapJob job(rootPath, toStandardOutput ? std::cerr : std::cout);
    TerminalProgress progress(!parser.isSet(quietOption));
    job.count(progress.stage("counting"));
    job.map(!parser.isSet(filesOption), progress.stage("mapping"));
    progress.stage("writing");
    const std::string report = job.finish();

    QString reason;
    const bool written = toStandardOutput ? writeToStandardOutput(report) : writeFile(outputPath, report, &reason) == 1;
    progress.clear();
    if (!written) {
        complain(toStandardOutput ? QStringLiteral("cannot write the report to standard output")
                                  : QStringLiteral("cannot write %1: %2").arg(paths[1], reason));
        return NotWritten;
    }
    if (parser.isSet(openOption) && !openReport(outputPath))
        complain(QStringLiteral("the report was written, but xdg-open could not be started to open it"));
    return Written;
}
