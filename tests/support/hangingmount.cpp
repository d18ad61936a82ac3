#include "hangingmount.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include "childprocess.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

HangingMount::HangingMount(const QByteArray &source, const QByteArray &mountPoint)
    : m_mountPoint(mountPoint)
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        m_failure = "no usable /dev/fuse";
        return;
    }
    const QString bindfs = QStandardPaths::findExecutable(QStringLiteral("bindfs"));
    if (bindfs.isEmpty()) {
        m_failure = "no bindfs";
        return;
    }
    // In the foreground, so that its process is the daemon to stop.
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.start(bindfs, {QStringLiteral("-f"), QFile::decodeName(source), QFile::decodeName(mountPoint)});
    if (!m_daemon.waitForStarted(10000)) {
        m_failure = "bindfs did not start: " + m_daemon.errorString().toLocal8Bit();
        return;
    }
    // Known mounted from the mount table alone: nothing reaches into it.
    const QDeadlineTimer deadline(10000);
    while (!isListedAsMounted() && m_daemon.state() == QProcess::Running && !deadline.hasExpired())
        QThread::msleep(10);
    m_mounted = isListedAsMounted();
    if (!m_mounted)
        m_failure = "bindfs did not mount: " + m_daemon.readAll().trimmed();
}

HangingMount::~HangingMount()
{
    // A daemon that ended has taken its mount's calls with it.
    const bool running = m_daemon.state() != QProcess::NotRunning;
    if (running)
        ::kill(pid_t(m_daemon.processId()), SIGCONT);
    for (const pid_t child : std::as_const(m_unanswered))
        waitForChild(child);
    if (!running)
        return;
    // Let it answer what waits on it, then end: libfuse unmounts on SIGTERM.
    QThread::msleep(100);
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(10000))
        m_daemon.kill();
    m_daemon.waitForFinished(10000);
    if (isListedAsMounted()) {
        // A listing still open in it keeps it busy: let go of it lazily.
        QProcess unmount;
        if (::geteuid() == 0)
            unmount.start(QStringLiteral("umount"), {QStringLiteral("-l"), QFile::decodeName(m_mountPoint)});
        else
            unmount.start(QStringLiteral("fusermount"), {QStringLiteral("-u"), QStringLiteral("-z"), QFile::decodeName(m_mountPoint)});
        unmount.waitForFinished(10000);
    }
}

bool HangingMount::stop()
{
    return m_mounted && ::kill(pid_t(m_daemon.processId()), SIGSTOP) == 0;
}

bool HangingMount::answers(int milliseconds)
{
    const QByteArray folder = m_mountPoint;
    const pid_t child = startInChild([folder] {
        DIR *listing = ::opendir(folder.constData());
        return listing && ::readdir(listing) ? 0 : 1;
    });
    const QDeadlineTimer deadline(milliseconds);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            m_unanswered << child;
            return false;
        }
        QThread::msleep(5);
    }
    return true;
}

bool HangingMount::isWaitedOnBy(pid_t process)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(process);
    for (const QString &thread : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile waitingIn(tasks + '/' + thread + QStringLiteral("/wchan"));
        // For an answer, or, where the daemon stopped before it answered
        // the kernel's first request, for the connection to open.
        const QByteArray waitingFor = waitingIn.open(QIODevice::ReadOnly) ? waitingIn.readAll() : QByteArray();
        if (waitingFor == "request_wait_answer" || waitingFor == "fuse_get_req")
            return true;
    }
    return false;
}

bool HangingMount::isListedAsMounted() const
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    // The fifth field is the mount point, with blanks and the like escaped.
    const QByteArray escaped = QByteArray(m_mountPoint).replace("\\", "\\134").replace(" ", "\\040");
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && fields[4] == escaped)
            return true;
    }
    return false;
}
