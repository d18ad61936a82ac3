#include "entrymetadata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace {

// Only the fields that are kept, so that a file system that computes some
// of the others lazily is not made to.
constexpr unsigned fieldsRead =
    STATX_TYPE | STATX_MODE | STATX_INO | STATX_NLINK | STATX_SIZE | STATX_BLOCKS | STATX_MTIME;
// Without these, nothing true can be said of the entry's size.
constexpr unsigned fieldsNeeded = STATX_TYPE | STATX_INO | STATX_SIZE | STATX_BLOCKS;
constexpr std::uint64_t blockBytes = 512;

// Gives the file type, or 0 with errno set.
mode_t read(int directoryFd, const char *name, int flags, EntryMetadata &metadata)
{
    struct statx status;
    // Cached attributes will do: a network file system need not ask its server.
    if (::statx(directoryFd, name, flags | AT_STATX_DONT_SYNC, fieldsRead, &status) != 0)
        return 0;
    if ((status.stx_mask & fieldsNeeded) != fieldsNeeded) {
        errno = ENODATA;
        return 0;
    }
    metadata.error = 0;
    metadata.throughLink = false;
    metadata.leadsNowhere = false;
    metadata.regular = S_ISREG(status.stx_mode);
    metadata.links = status.stx_mask & STATX_NLINK ? status.stx_nlink : 1;
    metadata.identity = {makedev(status.stx_dev_major, status.stx_dev_minor), status.stx_ino};
    metadata.size = status.stx_size;
    metadata.diskBytes = status.stx_blocks * blockBytes;
    metadata.hasModifiedTime = status.stx_mask & STATX_MTIME;
    metadata.modifiedSeconds = metadata.hasModifiedTime ? status.stx_mtime.tv_sec : 0;
    return status.stx_mode & S_IFMT;
}

EntryMetadata failed()
{
    EntryMetadata metadata;
    metadata.error = errno != 0 ? errno : EIO;
    return metadata;
}

} // namespace

mode_t readEntryMetadata(int directoryFd, const char *name, bool follow, EntryMetadata &metadata)
{
    if (follow) {
        if (const mode_t type = read(directoryFd, name, 0, metadata))
            return type;
    }
    if (const mode_t type = read(directoryFd, name, AT_SYMLINK_NOFOLLOW, metadata))
        return type;
    metadata = failed();
    return 0;
}

EntryMetadata readOpenedMetadata(int fd)
{
    EntryMetadata metadata;
    if (read(fd, "", AT_EMPTY_PATH, metadata) == 0)
        return failed();
    return metadata;
}

EntryMetadata readPathMetadata(int baseFd, const char *path)
{
    EntryMetadata metadata;
    if (read(baseFd, path, 0, metadata) == 0)
        return failed();
    return metadata;
}
