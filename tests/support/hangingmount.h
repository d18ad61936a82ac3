#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>

#include <sys/types.h>

// A FUSE mount (bindfs) of `source` on `mountPoint`, standing in for a
// network share that stops answering: once stop() has stopped its daemon,
// every call that reaches into the mount waits, in the kernel, until the
// object goes. Then the daemon goes on, ends, and the mount is taken away.
// Needs /dev/fuse and bindfs; where either is missing it is not mounted and
// failure() says why.
class HangingMount
{
public:
    HangingMount(const QByteArray &source, const QByteArray &mountPoint);
    ~HangingMount();
    HangingMount(const HangingMount &) = delete;
    HangingMount &operator=(const HangingMount &) = delete;

    bool isMounted() const { return m_mounted; }
    const QByteArray &failure() const { return m_failure; }
    // Stops the daemon: the mount no longer answers.
    bool stop();
    // Whether a folder in it can be listed within `milliseconds`, tried in
    // a child process that is killed when it cannot. A process killed in a
    // call to a FUSE file system may still wait on it as it ends: it is
    // waited for once the daemon goes on.
    bool answers(int milliseconds);
    // Whether a thread of `process` waits, now, for a FUSE file system to
    // answer: with the daemon stopped, for this one.
    static bool isWaitedOnBy(pid_t process);

private:
    bool isListedAsMounted() const;

    const QByteArray m_mountPoint;
    QProcess m_daemon;
    QByteArray m_failure;
    bool m_mounted = false;
    QList<pid_t> m_unanswered;
};
