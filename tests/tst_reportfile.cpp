#include "childprocess.h"
#include "reportfile.h"
#include "scratchdirectory.h"
#include "testtree.h"

#include <QFile>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QByteArray contentsOf(const QByteArray &path)
{
    return fileContents(QFile::decodeName(path));
}

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
    QCOMPARE(contentsOf(path), content);
    QCOMPARE(readdirOrder(folder.path()), QList<QByteArray>{"report.html"}); // no temporary file left
}

void tst_ReportFile::refusesWhatCannotBeWritten_data()
{
    QTest::addColumn<QByteArray>("path"); // below the scratch directory; "" for the empty path

    QTest::newRow("empty path") << QByteArray();
    QTest::newRow("a directory") << QByteArray("/dir");
    QTest::newRow("into a missing folder") << QByteArray("/missing/report.html");
    QTest::newRow("below a file") << QByteArray("/file/report.html");
}

void tst_ReportFile::refusesWhatCannotBeWritten()
{
    QFETCH(QByteArray, path);

    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    QVERIFY(makeTree(folder.path(), {"d:dir", "file"}));
    const QList<QByteArray> before = readdirOrder(folder.path());

    QString reason;
    QCOMPARE(write(path.isEmpty() ? path : folder.path() + path, "<HTML></HTML>", &reason), 0);
    QVERIFY(!reason.isEmpty());
    QCOMPARE(readdirOrder(folder.path()), before);
    QCOMPARE(readdirOrder(folder.path() + "/dir"), QList<QByteArray>{});
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

    // Root writes wherever it likes, so the write runs as nobody.
    const int result = runInChild([&] {
        if (!dropRoot())
            return 2;
        return write(locked + "/new.html", "x") + 10 * write(locked + "/report.html", "replaced");
    });
    ::chmod(locked.constData(), 0755);
    QCOMPARE(result, 0);
    QCOMPARE(readdirOrder(locked), QList<QByteArray>{"report.html"});
    QCOMPARE(contentsOf(locked + "/report.html"), QByteArray("earlier"));
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
        return written == 0 && !reason.isEmpty() ? 0 : 1;
    });
    QCOMPARE(result, 0);
    QCOMPARE(contentsOf(path), earlier);
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
    QCOMPARE(contentsOf(folder.path() + "/reports/map.html"), QByteArray("new"));
    struct stat status;
    QVERIFY(::lstat((folder.path() + "/latest.html").constData(), &status) == 0);
    QVERIFY(S_ISLNK(status.st_mode));
}

QTEST_GUILESS_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"
