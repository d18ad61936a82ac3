#include "childprocess.h"
#include "openerstandin.h"
#include "scratchdirectory.h"
#include "testtree.h"
#include "velmora.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <csignal>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray errorLine = "ERROR: Invalid File Path In Count Num Files and Folders Function\n";

struct Result
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs velmora-map with standard error a pipe, not a terminal.
Result velmoraMap(const QStringList &arguments, const std::function<void()> &inChild = {},
                  const QString &program = QStringLiteral(VELMORA_MAP))
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// The report the window writes for `root`, mapped as `directoriesOnly` says.
QByteArray windowReport(const QString &root, const QString &output, bool directoriesOnly)
{
    Velmora window;
    window.findChild<QLineEdit *>("rootDirectoryLineEdit")->setText(root);
    window.findChild<QLineEdit *>("outputFileLineEdit")->setText(output);
    window.findChild<QRadioButton *>(directoriesOnly ? "directoryOnlyRadioButton" : "radioButton_2")->setChecked(true);
    window.findChild<QPushButton *>("mapButton")->click();
    return fileContents(output);
}

} // namespace

class tst_MapCommand : public QObject
{
    Q_OBJECT

private slots:
    void writesWhatTheWindowWrites_data();
    void writesWhatTheWindowWrites();
    void reportOnStandardOutput();
    void exitStatus_data();
    void exitStatus();
    void failedWriteKeepsEarlierReport();
    void helpAndVersion();
    void oddOutputPathOpenedAsOneArgument();
    void progressOnlyOnATerminal_data();
    void progressOnlyOnATerminal();
};

void tst_MapCommand::writesWhatTheWindowWrites_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("directoriesOnly");
    QTest::newRow("directories only") << QStringList{} << true;
    QTest::newRow("-f") << QStringList{"-f"} << false;
    QTest::newRow("--files") << QStringList{"--files"} << false;
}

void tst_MapCommand::writesWhatTheWindowWrites()
{
    QFETCH(QStringList, options);
    QFETCH(bool, directoriesOnly);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/a&b.txt", "d:tree/sub", "tree/sub/é", "d:tree/αβ",
                                      "l:tree/αβ/up=..", "l:tree/gone=nowhere", "tree/<i>"}));
    const QString here = QFile::decodeName(scratch.path());

    const QByteArray fromWindow = windowReport(here + "/tree", here + "/window.html", directoriesOnly);
    QVERIFY(fromWindow.startsWith("<HTML>"));
    // Relative paths are taken from the working directory.
    QDir::setCurrent(here);
    const Result result = velmoraMap(options << "tree" << "command.html");
    QCOMPARE(result.status, 0);
    QCOMPARE(fileContents(here + "/command.html"), fromWindow);
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.err, QByteArray());
}

void tst_MapCommand::reportOnStandardOutput()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:tree/locked", "tree/locked/x", "tree/y"}));
    QVERIFY(::chmod(scratch.path().constData(), 0755) == 0);
    QVERIFY(::chmod((scratch.path() + "/tree/locked").constData(), 0) == 0);
    const QString tree = QFile::decodeName(scratch.path()) + "/tree";

    // Run as nobody, for whom the locked directory cannot be opened, from a
    // copy that nobody may run wherever the build is.
    const QString program = QFile::decodeName(scratch.path()) + "/velmora-map";
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_MAP), program));
    QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOther | QFile::ReadOther));
    const auto asNobody = [] {
        if (!dropRoot())
            ::_exit(100);
    };
    const Result toPipe = velmoraMap({"-f", tree, "-"}, asNobody, program);
    const Result toFile = velmoraMap({"-f", tree, QFile::decodeName(scratch.path()) + ".html"}, asNobody, program);
    ::chmod((scratch.path() + "/tree/locked").constData(), 0755);
    QFile::remove(QFile::decodeName(scratch.path()) + ".html");

    QCOMPARE(toPipe.status, 0);
    QCOMPARE(toPipe.err, errorLine);
    QByteArray list;
    for (const QByteArray &name : readdirOrder(scratch.path() + "/tree"))
        list += name == "locked" ? "<b><li>locked</li></b><ul></ul>" : "<li>" + name + "</li>";
    QCOMPARE(toPipe.out, "<HTML><h1>Directory Information</h1><b>Number of Folders: </b>1<br><b>Number of Files: </b>1<br>"
                         "<h1>Directory and File Map</h1><ul>" + list + "</ul></HTML>");

    // Written to a file, the error lines go to standard output as the walks print them.
    QCOMPARE(toFile.status, 0);
    QCOMPARE(toFile.out, errorLine);
    QCOMPARE(toFile.err, QByteArray());
}

void tst_MapCommand::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@" stands for the scratch directory
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");       // expected in standard error; "" for none at all

    QTest::newRow("written") << QStringList{"@/tree", "@/out.html"} << 0 << "";
    QTest::newRow("no arguments") << QStringList{} << 2 << "expected ROOT and OUTPUT";
    QTest::newRow("one argument") << QStringList{"@/tree"} << 2 << "expected ROOT and OUTPUT";
    QTest::newRow("three arguments") << QStringList{"@/tree", "a", "b"} << 2 << "expected ROOT and OUTPUT";
    QTest::newRow("unknown option") << QStringList{"--deep", "@/tree", "@/out.html"} << 2 << "Unknown option 'deep'";
    QTest::newRow("missing root") << QStringList{"@/nowhere", "@/out.html"} << 2 << "@/nowhere: not an existing directory";
    QTest::newRow("root is a file") << QStringList{"@/tree/f", "@/out.html"} << 2 << "@/tree/f: not an existing directory";
    QTest::newRow("empty root") << QStringList{"", "@/out.html"} << 2 << ": not an existing directory";
    QTest::newRow("output into a missing folder") << QStringList{"@/tree", "@/no/out.html"} << 1 << "cannot write @/no/out.html: ";
    QTest::newRow("output is a directory") << QStringList{"@/tree", "@/tree"} << 1 << "cannot write @/tree: ";
    QTest::newRow("empty output") << QStringList{"@/tree", ""} << 1 << "cannot write : ";
    QTest::newRow("--open with standard output") << QStringList{"--open", "@/tree", "-"} << 2 << "--open needs an OUTPUT file";
}

void tst_MapCommand::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/f"}));
    const QString here = QFile::decodeName(scratch.path());
    arguments.replaceInStrings("@", here);
    message.replace("@", here);

    const Result result = velmoraMap(arguments);
    QCOMPARE(result.status, status);
    if (message.isEmpty())
        QCOMPARE(result.err, QByteArray());
    else
        QVERIFY2(result.err.startsWith("velmora-map: ") && result.err.contains(message.toUtf8()), result.err.constData());
    QCOMPARE(QFile::exists(here + "/out.html"), status == 0 && arguments.contains(here + "/out.html"));
}

void tst_MapCommand::failedWriteKeepsEarlierReport()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QList<QByteArray> entries = {"d:tree"};
    for (int i = 0; i < 100; ++i)
        entries << "tree/file-with-a-long-enough-name-" + QByteArray::number(i);
    QVERIFY(makeTree(scratch.path(), entries));
    const QString output = QFile::decodeName(scratch.path()) + "/report.html";
    {
        QFile earlier(output);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier");
    }

    const Result result = velmoraMap({"-f", QFile::decodeName(scratch.path()) + "/tree", output}, [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.contains("cannot write " + QFile::encodeName(output) + ": "));
    QCOMPARE(fileContents(output), QByteArray("earlier"));
    QCOMPARE(QDir(QFile::decodeName(scratch.path())).entryList(QDir::Files), QStringList{"report.html"});
}

void tst_MapCommand::helpAndVersion()
{
    for (const char *option : {"-v", "--version"}) {
        const Result result = velmoraMap({QString::fromLatin1(option)});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, QByteArray("velmora-map 1.0.0\n"));
    }
    for (const char *option : {"-h", "--help"}) {
        const Result result = velmoraMap({QString::fromLatin1(option)});
        QCOMPARE(result.status, 0);
        QVERIFY(result.out.startsWith("Usage: velmora-map [options] ROOT OUTPUT\n"));
        for (const char *mention : {"-f, --files", "--open", "-q, --quiet", "-v, --version", "standard output"})
            QVERIFY2(result.out.contains(mention), mention);
    }
}

void tst_MapCommand::oddOutputPathOpenedAsOneArgument()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:bin", "d:work"}));
    const QString here = QFile::decodeName(scratch.path());
    OpenerStandIn opener(here + "/bin");
    const QString output = here + "/my \"odd\" 'map'; touch pwned $(touch pwned2).html";

    QDir::setCurrent(here + "/work");
    const Result result = velmoraMap({"--open", here + "/tree", output});
    QCOMPARE(result.status, 0);
    QTRY_VERIFY(QFile::exists(opener.recordPath()));
    QCOMPARE(opener.record(), (QList<QByteArray>{"1", QFile::encodeName(output)}));
    QVERIFY(fileContents(output).startsWith("<HTML>"));
    QCOMPARE(QDir(here + "/work").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
    QVERIFY(!QFile::exists(here + "/pwned") && !QFile::exists(here + "/pwned2"));
}

void tst_MapCommand::progressOnlyOnATerminal_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("progressShown");
    QTest::newRow("terminal") << QStringList{} << true;
    QTest::newRow("terminal, --quiet") << QStringList{"--quiet"} << false;
    QTest::newRow("terminal, -q") << QStringList{"-q"} << false;
}

void tst_MapCommand::progressOnlyOnATerminal()
{
    QFETCH(QStringList, options);
    QFETCH(bool, progressShown);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/x"}));
    const QString here = QFile::decodeName(scratch.path());

    // Standard error goes to a pseudo-terminal whose other side the test reads.
    int terminal = -1;
    int child = -1;
    QVERIFY(::openpty(&terminal, &child, nullptr, nullptr, nullptr) == 0);
    const Result result = velmoraMap(options << here + "/tree" << here + "/out.html", [child] { ::dup2(child, STDERR_FILENO); });
    ::close(child);
    QByteArray shown;
    char buffer[4096];
    for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, got);
    ::close(terminal);

    QCOMPARE(result.status, 0);
    QVERIFY(fileContents(here + "/out.html").contains("<b>Number of Files: </b>1<br>"));
    QCOMPARE(shown.contains("counting"), progressShown);
    QCOMPARE(shown.contains("writing"), progressShown);
    if (progressShown)
        QVERIFY(shown.endsWith("\r\033[K")); // the progress line is wiped at the end
}

QTEST_MAIN(tst_MapCommand)
#include "tst_mapcommand.moc"
