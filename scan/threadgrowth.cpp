#include "threadgrowth.h"

#include "scopeddescriptor.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Below this share of their time running or ready to run, the threads
// mostly wait.
constexpr double busyShare = 0.5;
// A walk that has to read its directories from the disk reads at least
// this fast. A tree in the page cache still has a few blocks read now and
// then, where the kernel dropped them to reclaim memory: tens of kilobytes
// in a look, no sign of a walk that waits on the disk.
constexpr double fetchingBytesPerSecond = 32 << 20;

// Nanoseconds that the threads have spent running or ready to run: what is
// left of their time, they waited, on the disk for one. Read from the
// scheduler's statistics, or else taken as the process's processor time.
std::uint64_t runningOrReadyTime(const std::vector<pid_t> &threads)
{
    std::uint64_t total = 0;
    for (const pid_t thread : threads) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/task/%d/schedstat", int(thread));
        const ScopedDescriptor statistics(::open(path, O_RDONLY | O_CLOEXEC));
        char text[128];
        const ssize_t length = statistics.isValid() ? ::read(statistics.get(), text, sizeof text - 1) : -1;
        unsigned long long running = 0;
        unsigned long long ready = 0;
        if (length <= 0)
            break;
        text[length] = '\0';
        if (std::sscanf(text, "%llu %llu", &running, &ready) != 2)
            break;
        total += running + ready;
        if (thread == threads.back())
            return total;
    }
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::uint64_t(now.tv_sec) * 1000000000ULL + std::uint64_t(now.tv_nsec);
}

// Bytes the process has had read from storage devices so far: a walk whose
// directories are not in the page cache makes it grow. Zero where the kernel
// does not count it.
std::uint64_t bytesReadFromStorage()
{
    const ScopedDescriptor counts(::open("/proc/self/io", O_RDONLY | O_CLOEXEC));
    char text[512];
    const ssize_t length = counts.isValid() ? ::read(counts.get(), text, sizeof text - 1) : -1;
    if (length <= 0)
        return 0;
    text[length] = '\0';
    const char *field = std::strstr(text, "\nread_bytes: ");
    return field ? std::strtoull(field + std::strlen("\nread_bytes: "), nullptr, 10) : 0;
}

} // namespace

bool moreWalkersHelp(const WalkersSeen &seen)
{
    if (seen.walking == 0)
        return false;
    // A thread reading a directory from the disk may spend that time in the
    // kernel and count as running; but a disk answers many reads at once, so
    // more threads help whatever the share says.
    if (seen.bytesFetchedPerSecond >= fetchingBytesPerSecond)
        return true;
    // A thread that has just begun has not yet had its share of the time.
    return seen.sameThreads && seen.busyShare < busyShare;
}

ThreadGrowth::ThreadGrowth()
    : m_lastLook(std::chrono::steady_clock::now())
    , m_lastFetched(bytesReadFromStorage())
{
}

bool ThreadGrowth::shouldDouble(const std::vector<pid_t> &threads, int walking, std::size_t started)
{
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - m_lastLook).count();
    const std::uint64_t busy = runningOrReadyTime(threads);
    const std::uint64_t fetched = bytesReadFromStorage();
    WalkersSeen seen;
    seen.walking = walking;
    seen.sameThreads = m_lastThreads == threads.size() && threads.size() == started;
    // Threads that wait for work use no time: the share is that of the
    // walking ones.
    seen.busyShare = seconds > 0 ? double(busy - m_lastBusy) / 1e9 / seconds / double(std::max(walking, 1)) : 1;
    seen.bytesFetchedPerSecond = seconds > 0 ? double(fetched - std::min(fetched, m_lastFetched)) / seconds : 0;
    m_lastLook = now;
    m_lastBusy = busy;
    m_lastThreads = threads.size();
    m_lastFetched = fetched;
    return moreWalkersHelp(seen);
}
