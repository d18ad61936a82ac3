#include "loopdisk.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qint64 imageSize = 64 * 1024 * 1024;
}

LoopDisk::LoopDisk(const QByteArray &folder)
    : m_image(folder + "/disk.img")
    , m_mountPoint(folder + "/disk")
{
    if (::geteuid() != 0) {
        m_failure = "needs root";
        return;
    }
    QFile image(QFile::decodeName(m_image));
    if (!image.open(QIODevice::WriteOnly) || !image.resize(imageSize)) {
        m_failure = "cannot make " + m_image + ": " + image.errorString().toLocal8Bit();
        return;
    }
    image.close();
    if (::mkdir(m_mountPoint.constData(), 0755) != 0) {
        m_failure = "cannot make " + m_mountPoint;
        return;
    }
    // One inode per 4 KiB, for trees of many small directories.
    m_mounted = run("mkfs.ext4", {"-q", "-F", "-i", "4096", m_image})
        && run("mount", {"-o", "loop", m_image, m_mountPoint});
}

LoopDisk::~LoopDisk()
{
    if (m_mounted)
        run("umount", {m_mountPoint});
}

bool LoopDisk::remount()
{
    // Still mounted if the unmount fails: the destructor tries again.
    if (!run("umount", {m_mountPoint}))
        return false;
    m_mounted = run("mount", {"-o", "loop", m_image, m_mountPoint});
    return m_mounted;
}

bool LoopDisk::run(const QByteArray &program, const QList<QByteArray> &arguments)
{
    QStringList texts;
    for (const QByteArray &argument : arguments)
        texts << QFile::decodeName(argument);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QString::fromLatin1(program), texts);
    if (!process.waitForFinished(60000)) {
        m_failure = program + ": " + process.errorString().toLocal8Bit();
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_failure = program + " failed: " + process.readAll().trimmed();
        return false;
    }
    return true;
}
