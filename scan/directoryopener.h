#pragma once

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// How every directory of the tree, and the root, is opened for reading.
constexpr int directoryOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Paths handed to openat stay well below PATH_MAX.
constexpr std::size_t pathChunkBytes = PATH_MAX / 2;

// Opens directories for a walk, so that running out of descriptors is never
// taken for a directory that cannot be read: on EMFILE or ENFILE it asks the
// walk to give one back and tries again, and throws std::system_error only
// when none can be had for a long while. Each call gives a descriptor the
// caller owns, or -1 with errno set.
class DirectoryOpener
{
public:
    // `giveBack(inUse)` closes one descriptor the walk holds, never `inUse`,
    // and gives false when it holds none it can spare. Once `stop` is set, a
    // wait for a descriptor ends at once, failed. Without `followLinks`, a
    // subdirectory a listing named is not opened if it has become a
    // symbolic link since (ELOOP).
    DirectoryOpener(std::function<bool(int inUse)> giveBack, const std::atomic<bool> *stop, bool followLinks = true);

    // One name below `base`, or a path whose names are all directories.
    int open(int base, const char *path) { return open(base, path, directoryOpenFlags); }
    // The subdirectory `name` of `base`, as its listing named it.
    int openListed(int base, const char *name) { return open(base, name, m_listedFlags); }
    // A path of several names may cross more links than one lookup may
    // follow; then it is followed one name at a time, as the kernel would.
    int openPath(int base, const std::string &path) { return openPath(base, path, directoryOpenFlags); }
    // The same for a path whose last name a listing named.
    int openListedPath(int base, const std::string &path) { return openPath(base, path, m_listedFlags); }
    // The directory reached from `base` by `path` (which may be empty) and
    // then by `names`, one below the other, in steps of at most
    // pathChunkBytes.
    int openChain(int base, std::string path, const std::vector<std::string_view> &names);

private:
    int open(int base, const char *path, int flags)
    {
        // No file is created, so the mode is not used; given, it spares the
        // check a fortified openat makes of flags that are not constant.
        const int fd = ::openat(base, path, flags, 0);
        return fd >= 0 || (errno != EMFILE && errno != ENFILE) ? fd : openWhenShort(base, path, flags);
    }
    // `lastFlags` for the last name, the others as directories always are.
    int openPath(int base, const std::string &path, int lastFlags);
    int openWhenShort(int base, const char *path, int flags);

    std::function<bool(int inUse)> m_giveBack;
    const std::atomic<bool> *m_stop;
    const int m_listedFlags;
};
