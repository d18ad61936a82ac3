#include "treescan.h"

#include "descriptorbudget.h"
#include "filesystemtraits.h"
#include "scopeddescriptor.h"
#include "treewalk.h"

#include <fcntl.h>
#include <sched.h>
#include <time.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Walks run side by side only while each can hold a few descriptors.
constexpr std::size_t descriptorsPerThreadedWalk = 4;
// A walk that waits on the disk rather than on the processors gains from
// more threads than cores, up to about this many.
constexpr unsigned mostThreads = 16;
// Below this share of their time running or ready to run, the threads
// mostly wait, and twice as many are tried.
constexpr double busyShare = 0.5;
constexpr auto lookInterval = std::chrono::milliseconds(10);
constexpr std::uint64_t countingInterval = 1024;

struct SubtreeTask
{
    int baseFd;
    std::string path; // relative to baseFd
    std::vector<DirectoryIdentity> ancestors;
    TreeRecording *into;
};

class TaskPool;

// Hands a walk's subdirectories to the pool, and keeps what their walks
// record until the walk puts it in its place.
class PoolSink : public SubtreeSink
{
public:
    PoolSink(TaskPool &pool, int rootFd, std::string prefix, TreeRecording &recording)
        : m_pool(pool)
        , m_rootFd(rootFd)
        , m_prefix(std::move(prefix))
        , m_recording(recording)
    {
    }

    const std::atomic<int> &wanted() const override;
    std::size_t takeSubtree(std::string path, std::vector<DirectoryIdentity> ancestors) override;
    void placeSubtree(std::size_t ticket) override { m_recording.addSubtree(std::move(m_waiting[ticket])); }

private:
    TaskPool &m_pool;
    const int m_rootFd;
    const std::string m_prefix;
    TreeRecording &m_recording;
    std::vector<std::unique_ptr<TreeRecording>> m_waiting;
};

// The tasks not yet taken, the walkers that wait for them, and the sinks of
// all walks, kept until every thread has ended.
class TaskPool
{
public:
    explicit TaskPool(SubtreeTask first) { m_tasks.push_back(std::move(first)); }

    // How many walkers wait for work that no task in the pool answers.
    const std::atomic<int> &wanted() const { return m_wanted; }
    const std::atomic<bool> &stopped() const { return m_stopped; }

    void add(SubtreeTask task)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
        updateWanted();
        m_work.notify_one();
    }

    // Waits for a task, and gives false once none is left and none can come.
    bool take(SubtreeTask &task)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_idle;
        updateWanted();
        m_work.wait(lock, [&] { return !m_tasks.empty() || m_walking == 0 || m_stopped; });
        --m_idle;
        if (m_stopped || m_tasks.empty()) {
            updateWanted();
            m_work.notify_all();
            return false;
        }
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
        ++m_walking;
        updateWanted();
        return true;
    }

    PoolSink &sinkFor(int rootFd, const SubtreeTask &task)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        std::string prefix = task.baseFd == rootFd ? task.path + '/' : std::string();
        return *m_sinks.emplace_back(std::make_unique<PoolSink>(*this, rootFd, std::move(prefix), *task.into));
    }

    void done()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (--m_walking == 0 && m_tasks.empty()) {
            m_work.notify_all();
            m_finished.notify_all();
        }
    }

    void stop()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        m_work.notify_all();
        m_finished.notify_all();
    }

    // Waits up to `interval` for the end; gives whether it came, and the
    // number of walks under way.
    bool waitForEnd(std::chrono::milliseconds interval, int &walking)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool over = m_finished.wait_for(lock, interval, [&] { return isOver(); });
        walking = m_walking;
        return over;
    }

private:
    bool isOver() const { return m_stopped || (m_walking == 0 && m_tasks.empty()); }
    void updateWanted() { m_wanted = std::max(0, m_idle - int(m_tasks.size())); }

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_finished;
    std::deque<SubtreeTask> m_tasks;
    std::vector<std::unique_ptr<PoolSink>> m_sinks;
    int m_idle = 0;
    int m_walking = 0;
    std::atomic<int> m_wanted{0};
    std::atomic<bool> m_stopped{false};
};

const std::atomic<int> &PoolSink::wanted() const
{
    return m_pool.wanted();
}

std::size_t PoolSink::takeSubtree(std::string path, std::vector<DirectoryIdentity> ancestors)
{
    auto &subtree = m_waiting.emplace_back(std::make_unique<TreeRecording>());
    m_pool.add({m_rootFd, m_prefix + path, std::move(ancestors), subtree.get()});
    return m_waiting.size() - 1;
}

unsigned usableCores()
{
    cpu_set_t cores;
    if (::sched_getaffinity(0, sizeof cores, &cores) == 0)
        return unsigned(std::max(CPU_COUNT(&cores), 1));
    return std::max(std::thread::hardware_concurrency(), 1U);
}

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

// Walks the tree on threads that share it out as they go: a walker with
// nothing to do gets the subdirectory nearest the start of another's walk.
// The calling thread reports progress, and adds threads while the walk reads
// from the disk or the walkers mostly wait instead of working.
class ThreadedScan
{
public:
    ThreadedScan(const std::string &rootPath, int rootFd, TreeRecording &tree, const WalkProgress *progress,
                 const std::atomic<bool> *cancel)
        : m_rootFd(rootFd)
        , m_rootOnPseudoFileSystem(fileSystemTraits(rootFd).kernelPseudo)
        , m_pool({AT_FDCWD, rootPath, {}, &tree})
        , m_progress(progress)
        , m_cancel(cancel)
    {
    }

    void run(unsigned firstThreads, unsigned threadLimit, std::size_t descriptorsPerWalk, const MountPoints &mountPoints)
    {
        m_limits.descriptorBudget = descriptorsPerWalk;
        m_limits.mountPoints = &mountPoints;
        m_limits.stop = &m_pool.stopped();
        for (unsigned i = 0; i < firstThreads; ++i)
            startThread();
        if (m_threads.empty()) // none could be started: walk here
            work();

        auto lastLook = std::chrono::steady_clock::now();
        std::uint64_t lastBusy = 0;
        std::uint64_t lastFetched = bytesReadFromStorage();
        std::size_t lastThreads = 0; // how many were watched at the last look
        for (int walking = 0; !m_pool.waitForEnd(lookInterval, walking);) {
            if (m_cancel && *m_cancel)
                m_pool.stop();
            if (m_progress && m_progress->report)
                m_progress->report(m_entriesSeen);
            if (m_threads.size() >= threadLimit)
                continue;
            const std::vector<pid_t> threads = threadIds();
            const auto now = std::chrono::steady_clock::now();
            const std::uint64_t busy = runningOrReadyTime(threads);
            // Threads that wait for work use no time: the share is that of
            // the walking ones.
            const double share = double(busy - lastBusy)
                / double(std::chrono::duration_cast<std::chrono::nanoseconds>(now - lastLook).count())
                / double(std::max(walking, 1));
            const bool sameThreads = lastThreads == threads.size() && threads.size() == m_threads.size();
            const std::uint64_t fetched = bytesReadFromStorage();
            // A thread reading a directory from the disk may spend that time
            // in the kernel and count as running; but a disk answers many
            // reads at once, so more threads help whatever the share says.
            const bool fetching = fetched > lastFetched;
            lastLook = now;
            lastBusy = busy;
            lastThreads = threads.size();
            lastFetched = fetched;
            // While the walkers fetch from the disk or mostly wait, twice as
            // many are tried.
            if (walking > 0 && (fetching || (sameThreads && share < busyShare))) {
                for (std::size_t more = m_threads.size(); more > 0 && m_threads.size() < threadLimit; --more)
                    startThread();
            }
        }
        for (std::thread &thread : m_threads)
            thread.join();
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    void startThread()
    {
        try {
            m_threads.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            // Fewer threads walk it.
        }
    }

    std::vector<pid_t> threadIds()
    {
        const std::lock_guard<std::mutex> lock(m_idsMutex);
        return m_threadIds;
    }

    void work()
    {
        {
            const std::lock_guard<std::mutex> lock(m_idsMutex);
            m_threadIds.push_back(::gettid());
        }
        const WalkProgress counting{[this](std::uint64_t) { m_entriesSeen += countingInterval; }, countingInterval};
        try {
            for (SubtreeTask task; m_pool.take(task);) {
                WalkLimits limits = m_limits;
                limits.sink = &m_pool.sinkFor(m_rootFd, task);
                walkFrom({task.baseFd, task.path, task.ancestors, m_rootOnPseudoFileSystem}, *task.into, &counting,
                         limits);
                m_pool.done();
            }
        } catch (...) {
            {
                const std::lock_guard<std::mutex> lock(m_failureMutex);
                if (!m_failure)
                    m_failure = std::current_exception();
            }
            m_pool.stop();
        }
    }

    const int m_rootFd;
    const bool m_rootOnPseudoFileSystem;
    TaskPool m_pool;
    const WalkProgress *const m_progress;
    const std::atomic<bool> *const m_cancel;
    WalkLimits m_limits;
    std::vector<std::thread> m_threads;
    std::mutex m_idsMutex;
    std::vector<pid_t> m_threadIds; // of the threads that have begun to work
    std::atomic<std::uint64_t> m_entriesSeen{0};
    std::mutex m_failureMutex;
    std::exception_ptr m_failure;
};

} // namespace

TreeRecording scanTree(const std::string &rootPath, const WalkProgress *progress, unsigned threads,
                       const std::atomic<bool> *cancel)
{
    TreeRecording tree;
    // One descriptor stays open on the root, for the walks of subtrees, and
    // one is kept for looking at how the threads fare.
    const std::size_t freeDescriptors = freeDescriptorCount();
    const std::size_t forWalks = freeDescriptors > 2 ? freeDescriptors - 2 : 0;
    const unsigned affordable = unsigned(std::min<std::size_t>(forWalks / descriptorsPerThreadedWalk, mostThreads));
    const unsigned most = threads > 0 ? std::min(threads, affordable) : affordable;
    const unsigned first = threads > 0 ? most : std::min(usableCores(), most);
    const MountPoints mountPoints;
    const ScopedDescriptor root(most >= 2 ? ::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    if (!root.isValid()) {
        WalkLimits alone;
        alone.descriptorBudget = std::min(freeDescriptors, mostWalkDescriptors);
        alone.stop = cancel;
        alone.mountPoints = &mountPoints;
        walkFrom({AT_FDCWD, rootPath, {}}, tree, progress, alone);
        return tree;
    }
    ThreadedScan(rootPath, root.get(), tree, progress, cancel)
        .run(first, most, std::min(forWalks / most, mostWalkDescriptors), mountPoints);
    return tree;
}
