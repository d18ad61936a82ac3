#include "descriptorbudget.h"

#include "directoryopener.h"
#include "scopeddescriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Without /proc, the descriptors looked at: the low numbers, where they are
// given out first.
constexpr int lowDescriptors = 4096;

// Counts the entries of /proc/self/fd, less the descriptor that reads it.
bool countFromProc(std::size_t &open)
{
    const ScopedDescriptor list(::open("/proc/self/fd", directoryOpenFlags));
    if (!list.isValid())
        return false;
    std::vector<char> buffer(16 * 1024);
    std::size_t entries = 0;
    for (ssize_t filled; (filled = ::getdents64(list.get(), buffer.data(), buffer.size())) != 0;) {
        if (filled < 0)
            return false;
        for (ssize_t offset = 0; offset < filled;) {
            const auto *record = reinterpret_cast<const struct dirent64 *>(buffer.data() + offset);
            offset += record->d_reclen;
            entries += record->d_name[0] != '.';
        }
    }
    open = entries - 1;
    return true;
}

} // namespace

std::size_t freeDescriptorCount()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return minimumWalkDescriptors;
    // Descriptors are numbered from 0, and none beyond the limit can be opened.
    const std::size_t highest = limit.rlim_cur == RLIM_INFINITY ? 1 << 20 : std::size_t(limit.rlim_cur);
    std::size_t open = 0;
    if (!countFromProc(open)) {
        for (int fd = 0; fd < int(std::min<std::size_t>(highest, lowDescriptors)); ++fd)
            open += ::fcntl(fd, F_GETFD) != -1;
    }
    return highest > open ? highest - open : 0;
}
