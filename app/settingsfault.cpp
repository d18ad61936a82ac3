#include "settingsfault.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString fault(const QString &path, int error)
{
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

// Where the file exists as something other than a file, what it is.
QString notAFile(const QString &path, const struct stat &status)
{
    if (S_ISDIR(status.st_mode))
        return fault(path, EISDIR);
    return path + QStringLiteral(": Not a regular file");
}

// Opens without waiting for a FIFO's other end, as a check only.
int openError(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

// The folder that holds the file, or the first folder on the way to it that
// is missing and cannot be made, or that is not a folder.
QString folderFault(const QString &folder)
{
    struct stat status;
    if (::stat(QFile::encodeName(folder).constData(), &status) == 0) {
        if (!S_ISDIR(status.st_mode))
            return fault(folder, ENOTDIR);
        if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
            return fault(folder, errno);
        return {};
    }
    // A folder above that is missing, or is a file, is the one at fault.
    const int error = errno;
    if (error != ENOENT && error != ENOTDIR)
        return fault(folder, error);
    const QString parent = QFileInfo(folder).path();
    if (parent != folder) {
        if (const QString above = folderFault(parent); !above.isEmpty())
            return above;
    }
    if (error == ENOTDIR)
        return fault(folder, error);
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return fault(folder, errno);
    return {};
}

} // namespace

namespace {

// What keeps `path`, where it is, from being opened with `flags`.
QString fileFault(const QString &path, int flags)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT ? QString() : fault(path, errno);
    if (!S_ISREG(status.st_mode))
        return notAFile(path, status);
    if (const int error = openError(path, flags))
        return fault(path, error);
    return {};
}

} // namespace

QString settingsReadFault(const QString &path)
{
    return fileFault(path, O_RDONLY);
}

QString settingsWriteFault(const QString &path)
{
    if (const QString folder = folderFault(QFileInfo(path).path()); !folder.isEmpty())
        return folder;
    return fileFault(path, O_RDWR);
}
