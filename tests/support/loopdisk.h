#pragma once

#include <QByteArray>

// A small ext4 file system in an image file below `folder`, mounted through a
// loop device on folder/disk; unmounted when the object goes out of scope.
// Needs root, mkfs.ext4 and a loop device; without them it is not mounted and
// failure() says why.
class LoopDisk
{
public:
    explicit LoopDisk(const QByteArray &folder);
    ~LoopDisk();
    LoopDisk(const LoopDisk &) = delete;
    LoopDisk &operator=(const LoopDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    const QByteArray &path() const { return m_mountPoint; }
    const QByteArray &failure() const { return m_failure; }

    // Unmounts and mounts again, so that nothing of it is left in memory and
    // the next reads go to the image.
    bool remount();

private:
    bool run(const QByteArray &program, const QList<QByteArray> &arguments);

    QByteArray m_image;
    QByteArray m_mountPoint;
    QByteArray m_failure;
    bool m_mounted = false;
};
