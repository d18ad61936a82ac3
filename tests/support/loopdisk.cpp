#include "loopdisk.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

LoopDisk::LoopDisk(const QByteArray &folder, Kind kind, qint64 bytes)
    : m_kind(kind)
    , m_image(folder + "/disk.img")
    , m_mountPoint(folder + "/disk")
{
    if (::geteuid() != 0) {
        m_failure = "needs root";
        return;
    }
    if (::mkdir(m_mountPoint.constData(), 0755) != 0) {
        m_failure = "cannot make " + m_mountPoint;
        return;
    }
    if (kind == Tmpfs) {
        m_mounted = run("mount", {"-t", "tmpfs", "-o", "size=" + QByteArray::number(bytes), "tmpfs", m_mountPoint});
        return;
    }
    if (kind == Fuse) {
        const QByteArray source = m_mountPoint + ".source";
        if (::mkdir(source.constData(), 0755) != 0)
            m_failure = "cannot make " + source;
        else
            m_mounted = run("bindfs", {source, m_mountPoint});
        return;
    }
    QFile image(QFile::decodeName(m_image));
    if (!image.open(QIODevice::WriteOnly) || !image.resize(bytes)) {
        m_failure = "cannot make " + m_image + ": " + image.errorString().toLocal8Bit();
        return;
    }
    image.close();
    if (kind == Ext4) {
        // One inode per 4 KiB, for trees of many small directories.
        m_mounted = run("mkfs.ext4", {"-q", "-F", "-i", "4096", m_image}) && mount();
    } else {
        m_mounted = run("mkfs.vfat", {m_image}) && mount();
    }
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
    m_mounted = mount();
    return m_mounted;
}

bool LoopDisk::mount()
{
    if (run("mount", {"-o", "loop", m_image, m_mountPoint}))
        return true;
    if (m_kind != Vfat || !m_failure.contains("unknown filesystem type"))
        return false;
    const QByteArray kernelFailure = m_failure;
    if (run("fusefat", {"-o", "rw+", m_image, m_mountPoint}))
        return true;
    m_failure = kernelFailure + "; " + m_failure;
    return false;
}

bool LoopDisk::run(const QByteArray &program, const QList<QByteArray> &arguments)
{
    QStringList texts;
    for (const QByteArray &argument : arguments)
        texts << QFile::decodeName(argument);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // A daemon that stays behind must not write into a pipe nobody reads.
    if (program == "fusefat" || program == "bindfs")
        process.setStandardOutputFile(QProcess::nullDevice());
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
