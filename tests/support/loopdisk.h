#pragma once

#include <QByteArray>

// A small file system of its own, mounted on folder/disk and unmounted when
// the object goes out of scope: ext4 or vfat in an image file below `folder`
// through a loop device, a tmpfs of the size given, or a FUSE file system
// (bindfs) showing the folder folder/disk.source, which has no unnamed
// temporary files (O_TMPFILE). Where the kernel has no vfat, the image is
// mounted through FUSE (fusefat) instead, which keeps neither modes nor
// owners either. Needs root and the file system's tools; without them it is
// not mounted and failure() says why.
class LoopDisk
{
public:
    enum Kind { Ext4, Vfat, Tmpfs, Fuse };

    explicit LoopDisk(const QByteArray &folder, Kind kind = Ext4, qint64 bytes = 64 * 1024 * 1024);
    ~LoopDisk();
    LoopDisk(const LoopDisk &) = delete;
    LoopDisk &operator=(const LoopDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    const QByteArray &path() const { return m_mountPoint; }
    const QByteArray &failure() const { return m_failure; }

    // Unmounts and mounts again, so that nothing of it is left in memory and
    // the next reads go to the image. Only for ext4 and vfat.
    bool remount();

private:
    bool mount();
    bool run(const QByteArray &program, const QList<QByteArray> &arguments);

    Kind m_kind;
    QByteArray m_image;
    QByteArray m_mountPoint;
    QByteArray m_failure;
    bool m_mounted = false;
};
