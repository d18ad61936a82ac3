#include "childprocess.h"
#include "loopdisk.h"
#include "reportfile.h"
#include "scratchdirectory.h"
#include "testtree.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QtEndian>
#include <QtTest>

#include <algorithm>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <thread>
#include <utility>

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

const uid_t nobody = 65534;

// writeFile in a child process: as nobody when asked (see dropRoot), under
// a file size limit when one is given.
class WriterInChild
{
public:
    WriterInChild(const QByteArray &path, const QByteArray &content, bool asNobody, rlim_t sizeLimit = 0)
    {
        int ends[2];
        if (::pipe(ends) != 0)
            return;
        m_pid = startInChild([&] {
            // Nothing of the test's own, such as a lock it holds, stays open here.
            const int said = ::dup2(ends[1], 3);
            ::close_range(4, ~0U, 0);
            if (asNobody && !dropRoot())
                return 2;
            if (sizeLimit) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{sizeLimit, sizeLimit};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    return 2;
            }
            QString reason;
            const int written = write(path, content, &reason);
            const QByteArray result = QByteArray::number(written) + ' ' + reason.toUtf8();
            return said == 3 && ::write(said, result.constData(), std::size_t(result.size())) == result.size() ? 0 : 2;
        });
        ::close(ends[1]);
        m_said = ends[0];
    }
    ~WriterInChild() { finish(); }

    pid_t pid() const { return m_pid; }

    // Waits for the child: writeFile's result, or -1 when the child failed.
    int finish(QString *reason = nullptr)
    {
        QByteArray said;
        char buffer[512];
        for (ssize_t got; m_said >= 0 && (got = ::read(m_said, buffer, sizeof buffer)) > 0;)
            said.append(buffer, got);
        if (m_said >= 0)
            ::close(std::exchange(m_said, -1));
        const bool ended = waitForChild(std::exchange(m_pid, -1)) == 0;
        if (reason)
            *reason = QString::fromUtf8(said.mid(said.indexOf(' ') + 1));
        return ended && !said.isEmpty() ? said.left(said.indexOf(' ')).toInt() : -1;
    }

private:
    pid_t m_pid = -1;
    int m_said = -1;
};

// Marks a folder immutable (chattr +i) while it lives: not even root may add
// a file to it. An empty path marks nothing.
class ScopedImmutable
{
public:
    explicit ScopedImmutable(const QByteArray &folder)
    {
        if (folder.isEmpty())
            return;
        m_fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int flags = 0;
        if (m_fd < 0 || ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) != 0)
            m_failure = std::strerror(errno);
        flags |= FS_IMMUTABLE_FL;
        if (m_failure.isEmpty() && ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) != 0)
            m_failure = std::strerror(errno);
        m_set = m_failure.isEmpty();
    }
    ~ScopedImmutable()
    {
        int flags = 0;
        if (m_set && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ScopedImmutable(const ScopedImmutable &) = delete;
    ScopedImmutable &operator=(const ScopedImmutable &) = delete;

    bool isSet() const { return m_set; }
    const QByteArray &failure() const { return m_failure; }

private:
    int m_fd = -1;
    bool m_set = false;
    QByteArray m_failure;
};

// Whether the process is waiting in flock(2).
bool waitsForLock(pid_t process)
{
    QFile syscall(QStringLiteral("/proc/%1/syscall").arg(process));
    return syscall.open(QIODevice::ReadOnly) && syscall.readAll().startsWith(QByteArray::number(SYS_flock) + ' ');
}

// The extended attributes of a file, names with their values.
QMap<QByteArray, QByteArray> attributesOf(const QByteArray &path)
{
    QMap<QByteArray, QByteArray> attributes;
    char names[4096];
    const ssize_t size = ::listxattr(path.constData(), names, sizeof names);
    for (ssize_t at = 0; at < size; at += ssize_t(std::strlen(names + at)) + 1) {
        char value[4096];
        const ssize_t length = ::getxattr(path.constData(), names + at, value, sizeof value);
        attributes.insert(names + at, QByteArray(value, qMax<ssize_t>(length, 0)));
    }
    return attributes;
}

// The access control list "user::rw-, user:nobody:rw-, group::r--,
// mask::rw-, other::r--" as the kernel keeps it.
QByteArray accessListGivingNobodyWrite()
{
    struct Entry
    {
        quint16 tag;
        quint16 permissions;
        quint32 id;
    };
    const quint32 none = ~0U;
    const Entry entries[] = {{0x01, 6, none}, {0x02, 6, nobody}, {0x04, 4, none}, {0x10, 6, none}, {0x20, 4, none}};
    QByteArray list(4, '\0');
    qToLittleEndian<quint32>(2, list.data()); // the format's version
    for (const Entry &entry : entries) {
        char bytes[8];
        qToLittleEndian(entry.tag, bytes);
        qToLittleEndian(entry.permissions, bytes + 2);
        qToLittleEndian(entry.id, bytes + 4);
        list.append(bytes, 8);
    }
    return list;
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
    void folderWithoutWritePermission_data();
    void folderWithoutWritePermission();
    void failedWriteKeepsEarlierReport();
    void keepsPermissions_data();
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
    QTest::newRow("a file followed by a slash") << QByteArray("/file/") << "Not a directory";
    QTest::newRow("a new name followed by a slash") << QByteArray("/new.html/") << "Is a directory";
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
    QTest::addColumn<QByteArray>("path");    // "@" stands for the scratch directory, "#" for a descriptor
                                             // open on @/log for appending, which holds "earlier"
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("readerGetsIt"); // a reader takes what arrives in @/fifo
    QTest::addColumn<bool>("logGetsIt");    // it is appended to @/log

    QTest::newRow("/dev/null") << QByteArray("/dev/null") << 1 << "" << false << false;
    QTest::newRow("/dev/full") << QByteArray("/dev/full") << 0 << "No space left on device" << false << false;
    QTest::newRow("FIFO with a reader") << QByteArray("@/fifo") << 1 << "" << true << false;
    QTest::newRow("link to a FIFO") << QByteArray("@/link") << 1 << "" << true << false;
    QTest::newRow("/dev/fd/N of a file") << QByteArray("/dev/fd/#") << 1 << "" << false << true;
    QTest::newRow("/proc/self/fd/N of a file") << QByteArray("/proc/self/fd/#") << 1 << "" << false << true;
    QTest::newRow("a descriptor that is not open") << QByteArray("/dev/fd/250") << 0 << "Bad file descriptor" << false
                                                   << false;
}

void tst_ReportFile::writesIntoWhatIsNotAFile()
{
    QFETCH(QByteArray, path);
    QFETCH(int, result);
    QFETCH(QString, reason);
    QFETCH(bool, readerGetsIt);
    QFETCH(bool, logGetsIt);

    ScratchDirectory folder;
    QVERIFY(folder.isValid());
    QVERIFY(makeTree(folder.path(), {"p:fifo", "l:link=fifo", "log"}));
    QVERIFY(writeBytes(folder.path() + "/log", "earlier"));
    const int log = ::open((folder.path() + "/log").constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    QVERIFY(log >= 0);
    const auto closeLog = qScopeGuard([log] { ::close(log); });
    path.replace('@', folder.path()).replace('#', QByteArray::number(log));
    struct stat before;
    const bool exists = ::stat(path.constData(), &before) == 0;

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
    QCOMPARE(fileContents(folder.path() + "/log"), "earlier" + (logGetsIt ? content : QByteArray()));
    struct stat after;
    QCOMPARE(::stat(path.constData(), &after) == 0, exists);
    if (exists) {
        QCOMPARE(after.st_mode, before.st_mode); // still what it was, not a new file
        QCOMPARE(after.st_ino, before.st_ino);
    }
    QList<QByteArray> left = readdirOrder(folder.path());
    std::sort(left.begin(), left.end()); // tmpfs lists the newest first
    QCOMPARE(left, (QList<QByteArray>{"fifo", "link", "log"}));
}

void tst_ReportFile::folderWithoutWritePermission_data()
{
    // The folder: "closed" is one that only root may write into, written by
    // nobody; "full", the same on a tmpfs of 64 KiB; "immutable", one on ext4
    // marked immutable (chattr +i), written by root.
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<int>("sizeLimit");   // of the writer's files; 0 for none
    QTest::addColumn<bool>("anotherRun"); // another run holds the report's lock while it copies
    QTest::addColumn<int>("size");        // of the new report; the earlier one has 16,000 bytes
    QTest::addColumn<int>("limitLowered"); // the writer's file size limit, set while it waits for the lock; 0 for none
    QTest::addColumn<QString>("reason");  // how the reason begins; "" when the report is written

    QTest::newRow("written in place") << QByteArray("closed") << 0 << false << 3 << 0 << "";
    QTest::newRow("full disk") << QByteArray("full") << 0 << false << 200000 << 0 << "No space left on device";
    QTest::newRow("file size limit") << QByteArray("closed") << 20000 << false << 100000 << 0
                                     << "File too large in the temporary folder";
    QTest::newRow("another run copying") << QByteArray("closed") << 0 << true << 100000 << 0 << "";
    QTest::newRow("file size limit lowered while waiting") << QByteArray("closed") << 0 << true << 100000 << 1000
                                                           << "File too large";
    QTest::newRow("immutable folder, by root") << QByteArray("immutable") << 0 << false << 100000 << 0 << "";
}

void tst_ReportFile::folderWithoutWritePermission()
{
    QFETCH(QByteArray, folder);
    QFETCH(int, sizeLimit);
    QFETCH(bool, anotherRun);
    QFETCH(int, size);
    QFETCH(int, limitLowered);
    QFETCH(QString, reason);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QByteArray locked = scratch.path() + "/locked";
    std::optional<LoopDisk> disk;
    if (folder != "closed") {
        disk.emplace(scratch.path(), folder == "full" ? LoopDisk::Tmpfs : LoopDisk::Ext4, folder == "full" ? 64 * 1024 : 16 << 20);
        if (!disk->isMounted())
            QSKIP(qPrintable("no disk of its own here: " + disk->failure()));
        locked = folder == "full" ? disk->path() : disk->path() + "/locked";
    }
    QVERIFY(folder == "full" || ::mkdir(locked.constData(), 0755) == 0);
    const QByteArray report = locked + "/report.html";
    const QByteArray earlier(16000, 'e');
    QVERIFY(writeBytes(report, earlier));
    QVERIFY(::chmod(scratch.path().constData(), 0755) == 0);
    QVERIFY(::chmod(report.constData(), 0666) == 0);
    QVERIFY(::chmod(locked.constData(), 0555) == 0);
    const bool byNobody = folder != "immutable";
    const ScopedImmutable immutable(byNobody ? QByteArray() : locked);
    if (!byNobody && !immutable.isSet())
        QSKIP(qPrintable("cannot mark a folder immutable here: " + immutable.failure()));
    int otherRun = -1;
    if (anotherRun) {
        otherRun = ::open(report.constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(otherRun >= 0 && ::flock(otherRun, LOCK_EX) == 0);
    }

    // Root writes wherever it likes, so the writes run as nobody, but for the
    // immutable folder. No new file can be made there, but the writable
    // report is written in place.
    QCOMPARE(WriterInChild(locked + "/new.html", "x", byNobody).finish(), 0);
    const QByteArray content(size, 'n');
    WriterInChild writer(report, content, byNobody, rlim_t(sizeLimit));
    // Gone before the writer, which waits for the lock to end.
    const auto endOtherRun = qScopeGuard([&otherRun] { ::close(std::exchange(otherRun, -1)); });
    if (anotherRun) {
        QTRY_VERIFY_WITH_TIMEOUT(waitsForLock(writer.pid()), 30000);
        QCOMPARE(fileContents(report), earlier); // untouched while the other run copies
        // As prlimit --pid would, by the writer's own user.
        const rlimit lowered{rlim_t(limitLowered), rlim_t(limitLowered)};
        QVERIFY(!limitLowered || runInChild([&] {
            return dropRoot() && ::prlimit(writer.pid(), RLIMIT_FSIZE, &lowered, nullptr) == 0 ? 0 : 1;
        }) == 0);
        ::close(std::exchange(otherRun, -1));
    }
    QString given;
    const int result = writer.finish(&given);
    ::chmod(locked.constData(), 0755);

    QCOMPARE(result, reason.isEmpty() ? 1 : 0);
    QVERIFY2(reason.isEmpty() ? given.isEmpty() : given.startsWith(reason), qPrintable(given));
    QCOMPARE(fileContents(report), reason.isEmpty() ? content : earlier);
    QCOMPARE(readdirOrder(locked), QList<QByteArray>{"report.html"});
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

void tst_ReportFile::keepsPermissions_data()
{
    QTest::addColumn<int>("mode");              // of the earlier report, owned by root
    QTest::addColumn<bool>("ownedByNobody");    // instead
    QTest::addColumn<QByteArray>("attributes"); // it has: "acl", an access list giving nobody write access and a
                                                // user attribute; "capability", cap_net_raw+ep set by setcap
    QTest::addColumn<bool>("byNobody");         // written by nobody
    // The folder: "open" to anyone; "closed" to nobody, who writes the report
    // in place; "immutable" (chattr +i), where root writes it in place; "vfat",
    // a file system that keeps neither modes nor owners.
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QString>("reason"); // "" when the report is written

    const QByteArray none;
    QTest::newRow("mode 0640") << 0640 << false << none << false << QByteArray("open") << "";
    QTest::newRow("access list and attribute, by nobody") << 0644 << false << QByteArray("acl") << true << QByteArray("open") << "";
    QTest::newRow("owner kept by root") << 0640 << true << none << false << QByteArray("open") << "";
    QTest::newRow("write-protected, by root") << 0444 << false << none << false << QByteArray("open") << "";
    QTest::newRow("write-protected, by nobody") << 0444 << true << none << true << QByteArray("open") << "Permission denied";
    QTest::newRow("another's file, by nobody") << 0644 << false << none << true << QByteArray("open") << "Permission denied";
    QTest::newRow("on vfat") << 0 << false << none << false << QByteArray("vfat") << "";
    // Writing into a file clears these, so they are set once it is written.
    QTest::newRow("set-group-ID, by nobody") << 02755 << true << none << true << QByteArray("open") << "";
    QTest::newRow("set-user-ID, by nobody") << 04755 << true << none << true << QByteArray("open") << "";
    QTest::newRow("file capability, by root") << 0755 << false << QByteArray("capability") << false << QByteArray("open") << "";
    QTest::newRow("set-group-ID, in place by nobody") << 02775 << true << none << true << QByteArray("closed") << "";
    QTest::newRow("set-user-ID, in place by nobody") << 04755 << true << none << true << QByteArray("closed") << "";
    QTest::newRow("file capability, in place by root") << 0755 << false << QByteArray("capability") << false
                                                        << QByteArray("immutable") << "";
}

void tst_ReportFile::keepsPermissions()
{
    QFETCH(int, mode);
    QFETCH(bool, ownedByNobody);
    QFETCH(QByteArray, attributes);
    QFETCH(bool, byNobody);
    QFETCH(QByteArray, folder);
    QFETCH(QString, reason);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QByteArray path = scratch.path() + "/report.html";
    std::optional<LoopDisk> disk;
    const bool onVfat = folder == "vfat";
    if (onVfat) {
        disk.emplace(scratch.path(), LoopDisk::Vfat);
        if (!disk->isMounted())
            QSKIP(qPrintable("no vfat disk here: " + disk->failure()));
        path = disk->path() + "/report.html";
    }
    if ((byNobody || ownedByNobody) && ::geteuid() != 0)
        QSKIP("needs root to act as nobody");
    QVERIFY(writeBytes(path, "earlier"));
    QVERIFY(onVfat || ::chmod(scratch.path().constData(), folder == "closed" ? 0555 : 0777) == 0);
    QVERIFY(!ownedByNobody || ::chown(path.constData(), nobody, nobody) == 0);
    QVERIFY(onVfat || ::chmod(path.constData(), mode_t(mode)) == 0);
    if (attributes == "acl") {
        if (::setxattr(path.constData(), "user.velmora", "kept", 4, 0) != 0)
            QSKIP(qPrintable(QString::fromUtf8("no user attributes here: ") + QString::fromLocal8Bit(std::strerror(errno))));
        const QByteArray list = accessListGivingNobodyWrite();
        QVERIFY(::setxattr(path.constData(), "system.posix_acl_access", list.constData(), std::size_t(list.size()), 0) == 0);
    } else if (attributes == "capability" && QProcess::execute("setcap", {"cap_net_raw+ep", QFile::decodeName(path)}) != 0) {
        QSKIP("setcap cannot set a file capability here");
    }
    std::optional<ScopedImmutable> immutable;
    if (folder == "immutable" && !immutable.emplace(scratch.path()).isSet())
        QSKIP(qPrintable("cannot mark a folder immutable here: " + immutable->failure()));
    struct stat before;
    QVERIFY(::stat(path.constData(), &before) == 0);
    const QMap<QByteArray, QByteArray> attributesBefore = attributesOf(path);
    QCOMPARE(attributesBefore.contains("security.capability"), attributes == "capability");

    QString given;
    QCOMPARE(WriterInChild(path, "new", byNobody).finish(&given), reason.isEmpty() ? 1 : 0);
    immutable.reset();
    ::chmod(scratch.path().constData(), 0777);
    QCOMPARE(given, reason);
    QCOMPARE(fileContents(path), QByteArray(reason.isEmpty() ? "new" : "earlier"));
    struct stat after;
    QVERIFY(::stat(path.constData(), &after) == 0);
    if (!onVfat) {
        // The group bits are the access list's mask, as they were: the group
        // itself gains nothing.
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(attributesOf(path), attributesBefore);
        // nobody cannot give a file away.
        const bool ownerKept = !reason.isEmpty() || !byNobody || ownedByNobody;
        QCOMPARE(after.st_uid, ownerKept ? before.st_uid : nobody);
        QCOMPARE(after.st_gid, ownerKept ? before.st_gid : gid_t(nobody));
        // Written in place or refused, it is the same file.
        QCOMPARE(after.st_ino == before.st_ino, folder != "open" || !reason.isEmpty());
    }
    QCOMPARE(readdirOrder(onVfat ? disk->path() : scratch.path()), QList<QByteArray>{"report.html"});

    // A new file gets the usual permissions, not those of a temporary file.
    const mode_t previousMask = ::umask(022);
    QCOMPARE(write(scratch.path() + "/fresh.html", "new"), 1);
    ::umask(previousMask);
    QVERIFY(::stat((scratch.path() + "/fresh.html").constData(), &after) == 0);
    QCOMPARE(after.st_mode & 07777, mode_t(0644));
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
