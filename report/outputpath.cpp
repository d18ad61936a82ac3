#include "outputpath.h"

#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

constexpr int mostLinks = 40; // as the kernel's own limit

// Replaces `path` by the target of the symbolic link it names, read
// relative to the link's folder; false when it names no link.
bool followOneLink(std::string &path)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || std::size_t(length) == sizeof target)
        return false;
    if (target[0] == '/') {
        path.assign(target, std::size_t(length));
    } else {
        const std::size_t slash = path.rfind('/');
        path.erase(slash == std::string::npos ? 0 : slash + 1).append(target, std::size_t(length));
    }
    return true;
}

// A descriptor's number as /proc names it: decimal, without leading zeros.
int descriptorNumber(std::string_view name)
{
    if (name.empty() || name.size() > 9 || (name.size() > 1 && name[0] == '0'))
        return -1;
    int number = 0;
    for (const char digit : name) {
        if (digit < '0' || digit > '9')
            return -1;
        number = number * 10 + (digit - '0');
    }
    return number;
}

bool endsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Whether `folder` is this process's descriptor folder in a proc file
// system, wherever that is mounted: PID/fd, or PID/task/TID/fd for one of
// its threads, which share its descriptors.
bool isOwnDescriptorFolder(const std::string &folder)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(folder.c_str(), nullptr), &std::free);
    struct statfs fileSystem;
    if (!resolved || ::statfs(resolved.get(), &fileSystem) != 0 || fileSystem.f_type != PROC_SUPER_MAGIC)
        return false;
    std::string_view path = resolved.get();
    if (!endsWith(path, "/fd"))
        return false;
    path.remove_suffix(3);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string_view::npos && endsWith(path.substr(0, slash), "/task")
        && descriptorNumber(path.substr(slash + 1)) >= 0)
        path = path.substr(0, slash - 5);
    return endsWith(path, '/' + std::to_string(::getpid()));
}

} // namespace

int ownDescriptorNamedBy(std::string path)
{
    for (int hops = 0; hops <= mostLinks; ++hops) {
        const std::size_t slash = path.rfind('/');
        const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
        const int number = descriptorNumber(name);
        if (number >= 0) {
            const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
            if (isOwnDescriptorFolder(folder))
                return number;
        }
        if (!followOneLink(path))
            return -1;
    }
    return -1;
}

std::string followLinks(std::string path)
{
    for (int hops = 0; hops < mostLinks && followOneLink(path); ++hops) {
    }
    return path;
}
