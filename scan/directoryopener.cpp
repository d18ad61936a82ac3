#include "directoryopener.h"

#include "scopeddescriptor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

// How long a walk waits for a descriptor that nothing of its own can free.
constexpr auto descriptorPatience = std::chrono::seconds(2);

} // namespace

DirectoryOpener::DirectoryOpener(std::function<bool(int inUse)> giveBack, const std::atomic<bool> *stop, bool followLinks)
    : m_giveBack(std::move(giveBack))
    , m_stop(stop)
    , m_listedFlags(followLinks ? directoryOpenFlags : directoryOpenFlags | O_NOFOLLOW)
{
}

int DirectoryOpener::openWhenShort(int base, const char *path, int flags)
{
    std::chrono::steady_clock::time_point deadline{};
    for (;;) {
        const int error = errno;
        if (!m_giveBack(base)) {
            const auto now = std::chrono::steady_clock::now();
            if (deadline == std::chrono::steady_clock::time_point{})
                deadline = now + descriptorPatience;
            if (now > deadline)
                throw std::system_error(error, std::generic_category(), "cannot open a directory");
            if (m_stop && m_stop->load(std::memory_order_relaxed)) {
                errno = error;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const int fd = ::openat(base, path, flags, 0);
        if (fd >= 0 || (errno != EMFILE && errno != ENFILE))
            return fd;
    }
}

int DirectoryOpener::openPath(int base, const std::string &path, int lastFlags)
{
    const int fd = open(base, path.c_str(), lastFlags);
    if (fd >= 0 || errno != ELOOP || path.find('/') == std::string::npos)
        return fd;
    ScopedDescriptor reached;
    if (path.front() == '/') {
        reached.reset(open(AT_FDCWD, "/"));
        if (!reached.isValid())
            return -1;
    }
    std::string name;
    for (std::size_t begin = 0; begin < path.size();) {
        const std::size_t end = std::min(path.find('/', begin), path.size());
        if (end > begin) {
            name.assign(path, begin, end - begin);
            const bool last = path.find_first_not_of('/', end) == std::string::npos;
            ScopedDescriptor next(open(reached.isValid() ? reached.get() : base, name.c_str(),
                                       last ? lastFlags : directoryOpenFlags));
            if (!next.isValid())
                return -1;
            reached = std::move(next);
        }
        begin = end + 1;
    }
    return reached.release();
}

int DirectoryOpener::openChain(int base, std::string path, const std::vector<std::string_view> &names)
{
    ScopedDescriptor chunkBase;
    for (const std::string_view name : names) {
        if (!path.empty() && path.size() + 1 + name.size() > pathChunkBytes) {
            ScopedDescriptor next(openPath(base, path));
            if (!next.isValid())
                return -1;
            chunkBase = std::move(next);
            base = chunkBase.get();
            path.clear();
        }
        if (!path.empty())
            path.push_back('/');
        path.append(name);
    }
    return openPath(base, path);
}
