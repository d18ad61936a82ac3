#include "childprocess.h"
#include "reportfile.h"
#include "scratchdirectory.h"
#include "testtree.h"

#include <QFile>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <thread>

namespace {

bool writeBytes(const QByteArray &path, const QByteArray &bytes)
{
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int write(const QByteArray &path, const QByteArray &content, QString *reason = nullptr)
{
    return writeFile(path.toStdString(), content.toStdString(), reason);
}

} // namespace

class tst_ReportFile : public QObject
{
    Q_OBJECT

private slots:
    void writesWholeContent_data();
    void writesWholeContent();
    void refusesWhatCannotBeWritten_data();
    void refusesWhatCannotBeWritten();
    void writesIntoWhatIsNotAFile_data();
    void writesIntoWhatIsNotAFile();
    void folderWithoutWritePermission();
    void failedWriteKeepsEarlierReport();
    void keepsPermissions();
    void writesThroughLink();
};

void tst_ReportFile::writesWholeContent_data()
{
    QTest::addColumn<QByteArray>("earlier"); // "" when there is no earlier file
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("empty content, new file") << QByteArray() << QByteArray();
    QTest::newRow("empty content replaces a file") << QByteArray("old report") << QByteArray();
    QTest::newRow("replaces a longer file") << QByteArray(5000, 'x') << QByteArray("<HTML></HTML>");
    QTest::newRow("zero bytes kept") << QByteArray() << QByteArray("a\0b\0\0c", 6);
    QTest::newRow("eight-bit bytes kept") << QByteArray() << QByteArray("caf\xe9 \xff\x80\r\n");
    QTest::newRow("large content") << QByteArray("small") << QByteArray(8 << 20, 'r');
}

void tst_ReportFile::writesWholeContent()
{
    QFETCH(QByteArray, earlier);
    QFETCH(QByteArray, content);

    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    const QByteArray path = folder.path() + "/report.html";
    if (!earlier.isEmpty())
        QVERIFY(writeBytes(path, earlier));

    QCOMPARE(write(path, content), 1);
    QCOMPARE(fileContents(path), content);
    QCOMPARE(readdirOrder(folder.path()), QList<QByteArray>{"report.html"}); // no temporary file left
}

void tst_ReportFile::refusesWhatCannotBeWritten_data()
{
    QTest::addColumn<QByteArray>("path"); // below the scratch directory; "" for the empty path
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty path") << QByteArray() << "No file name specified";
    QTest::newRow("a directory") << QByteArray("/dir") << "Is a directory";
    QTest::newRow("a link to a directory") << QByteArray("/dirlink") << "Is a directory";
    QTest::newRow("into a missing folder") << QByteArray("/missing/report.html") << "No such file or directory";
    QTest::newRow("below a file") << QByteArray("/file/report.html") << "Not a directory";
}

void tst_ReportFile::refusesWhatCannotBeWritten()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, reason);

    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    QVERIFY(makeTree(folder.path(), {"d:dir", "file", "l:dirlink=dir"}));
    const QList<QByteArray> before = readdirOrder(folder.path());

    QString given;
    QCOMPARE(write(path.isEmpty() ? path : folder.path() + path, "<HTML></HTML>", &given), 0);
    QCOMPARE(given, reason);
    QCOMPARE(readdirOrder(folder.path()), before);
    QCOMPARE(readdirOrder(folder.path() + "/dir"), QList<QByteArray>{});
}

void tst_ReportFile::writesIntoWhatIsNotAFile_data()
{
    QTest::addColumn<QByteArray>("path");    // "@" stands for the scratch directory
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("readerGetsIt"); // a reader takes what arrives in @/fifo

    QTest::newRow("/dev/null") << QByteArray("/dev/null") << 1 << "" << false;
    QTest::newRow("/dev/full") << QByteArray("/dev/full") << 0 << "No space left on device" << false;
    QTest::newRow("FIFO with a reader") << QByteArray("@/fifo") << 1 << "" << true;
    QTest::newRow("link to a FIFO") << QByteArray("@/link") << 1 << "" << true;
}

void tst_ReportFile::writesIntoWhatIsNotAFile()
{
    QFETCH(QByteArray, path);
    QFETCH(int, result);
    QFETCH(QString, reason);
    QFETCH(bool, readerGetsIt);

    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    QVERIFY(makeTree(folder.path(), {"p:fifo", "l:link=fifo"}));
    path.replace('@', folder.path());
    struct stat before;
    QVERIFY(::stat(path.constData(), &before) == 0);

    QByteArray received;
    std::thread reader;
    if (readerGetsIt)
        reader = std::thread([&] { received = fileContents(folder.path() + "/fifo"); });
    const QByteArray content(100000, 'r');
    QString given;
    QCOMPARE(write(path, content, &given), result);
    if (reader.joinable())
        reader.join();

    QCOMPARE(given, reason);
    QCOMPARE(received, readerGetsIt ? content : QByteArray());
    struct stat after;
    QVERIFY(::stat(path.constData(), &after) == 0);
    QCOMPARE(after.st_mode, before.st_mode); // still what it was, not a new file
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(readdirOrder(folder.path()), (QList<QByteArray>{"fifo", "link"}));
}

void tst_ReportFile::folderWithoutWritePermission()
{
    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    const QByteArray locked = folder.path() + "/locked";
    QVERIFY(makeTree(folder.path(), {"d:locked"}));
    QVERIFY(writeBytes(locked + "/report.html", "earlier"));
    QVERIFY(::chmod(folder.path().constData(), 0755) == 0);
    QVERIFY(::chmod((locked + "/report.html").constData(), 0666) == 0);
    QVERIFY(::chmod(locked.constData(), 0555) == 0);

    // Root writes wherever it likes, so the write runs as nobody. No new file
    // can be made there, but the writable report is written in place.
    const int result = runInChild([&] {
        if (!dropRoot())
            return 2;
        return write(locked + "/new.html", "x") + 10 * write(locked + "/report.html", "new");
    });
    ::chmod(locked.constData(), 0755);
    QCOMPARE(result, 10);
    QCOMPARE(readdirOrder(locked), QList<QByteArray>{"report.html"});
    QCOMPARE(fileContents(locked + "/report.html"), QByteArray("new"));
}

void tst_ReportFile::failedWriteKeepsEarlierReport()
{
    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    const QByteArray path = folder.path() + "/report.html";
    const QByteArray earlier = "<HTML>the earlier report</HTML>";
    QVERIFY(writeBytes(path, earlier));

    // A file size limit makes the write fail part way through.
    const int result = runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        QString reason;
        const int written = write(path, QByteArray(100000, 'n'), &reason);
        return written == 0 && reason == "File too large" ? 0 : 1;
    });
    QCOMPARE(result, 0);
    QCOMPARE(fileContents(path), earlier);
    QCOMPARE(readdirOrder(folder.path()), QList<QByteArray>{"report.html"});
}

void tst_ReportFile::keepsPermissions()
{
    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    const QByteArray path = folder.path() + "/report.html";
    QVERIFY(writeBytes(path, "earlier"));
    QVERIFY(::chmod(path.constData(), 0640) == 0);

    QCOMPARE(write(path, "new"), 1);
    struct stat status;
    QVERIFY(::stat(path.constData(), &status) == 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0640));

    // A new file gets the usual permissions, not those of a temporary file.
    const mode_t previousMask = ::umask(022);
    QCOMPARE(write(folder.path() + "/fresh.html", "new"), 1);
    ::umask(previousMask);
    QVERIFY(::stat((folder.path() + "/fresh.html").constData(), &status) == 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0644));
}

void tst_ReportFile::writesThroughLink()
{
    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    QVERIFY(makeTree(folder.path(), {"d:reports", "l:latest.html=reports/map.html"}));
    QVERIFY(writeBytes(folder.path() + "/reports/map.html", "earlier"));

    QCOMPARE(write(folder.path() + "/latest.html", "new"), 1);
    QCOMPARE(fileContents(folder.path() + "/reports/map.html"), QByteArray("new"));
    struct stat status;
    QVERIFY(::lstat((folder.path() + "/latest.html").constData(), &status) == 0);
    QVERIFY(S_ISLNK(status.st_mode));
}

QTEST_GUILESS_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"
