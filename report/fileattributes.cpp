#include "fileattributes.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr char accessList[] = "system.posix_acl_access";

// What a file system says when it has no such attribute to keep, or what a
// process hears when it may not set it (an owner other than itself, a
// security label): the new file goes on without it.
bool cannotBeKept(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

// The names of the extended attributes at `path`, each ended by a zero byte.
// Empty where the file system keeps none.
int attributeNames(const std::string &path, std::vector<char> &names)
{
    for (;;) {
        const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
        if (size < 0)
            return cannotBeKept(errno) ? 0 : errno;
        names.resize(std::size_t(size));
        const ssize_t listed = ::listxattr(path.c_str(), names.data(), names.size());
        if (listed >= 0) {
            names.resize(std::size_t(listed));
            return 0;
        }
        if (errno != ERANGE) // ERANGE: one was added meanwhile
            return cannotBeKept(errno) ? 0 : errno;
    }
}

int copyAttribute(const std::string &path, const char *name, int fd)
{
    std::vector<char> value;
    for (;;) {
        const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
        // Gone meanwhile, or one the process may not read: nothing to copy.
        if (size < 0)
            return errno == ENODATA || errno == EACCES || cannotBeKept(errno) ? 0 : errno;
        value.resize(std::size_t(size));
        const ssize_t read = ::getxattr(path.c_str(), name, value.data(), value.size());
        if (read >= 0) {
            value.resize(std::size_t(read));
            break;
        }
        if (errno != ERANGE)
            return errno == ENODATA || cannotBeKept(errno) ? 0 : errno;
    }
    if (::fsetxattr(fd, name, value.data(), value.size(), 0) != 0 && !cannotBeKept(errno))
        return errno;
    return 0;
}

} // namespace

int copyFileAttributes(const std::string &path, const struct stat &status, int fd)
{
    // A process that may not give the file away may still keep its group.
    if (::fchown(fd, status.st_uid, status.st_gid) != 0) {
        if (!cannotBeKept(errno))
            return errno;
        if (::fchown(fd, uid_t(-1), status.st_gid) != 0 && !cannotBeKept(errno))
            return errno;
    }

    std::vector<char> names;
    if (const int error = attributeNames(path, names))
        return error;
    bool hasAccessList = false;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const char *name = names.data() + at;
        hasAccessList = hasAccessList || std::string_view(name) == accessList;
        if (const int error = copyAttribute(path, name, fd))
            return error;
    }
    // A default list of the folder gives a new file an access list of its
    // own, which the file it replaces did not have.
    if (!hasAccessList && ::fremovexattr(fd, accessList) != 0 && errno != ENODATA && !cannotBeKept(errno))
        return errno;

    // Last, as a change of owner clears the set-user-ID and set-group-ID bits.
    // With an access list the group bits are its mask, as on the file replaced.
    if (::fchmod(fd, status.st_mode & 07777) != 0 && !cannotBeKept(errno))
        return errno;
    return 0;
}
