#include "treescan.h"

#include "descriptorbudget.h"
#include "directoryopener.h"
#include "filesystemtraits.h"
#include "scopeddescriptor.h"
#include "taskpool.h"
#include "threadgrowth.h"
#include "treewalk.h"
#include "walkerthreads.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

// Walks run side by side only while each can hold a few descriptors.
constexpr std::size_t descriptorsPerThreadedWalk = 4;
// Threads beyond the cores help only a walk that waits on the disk, and
// beyond about this many not even that one.
constexpr unsigned mostThreads = 16;
constexpr auto lookInterval = std::chrono::milliseconds(10);
constexpr std::uint64_t countingInterval = 1024;
// How long stopped walkers are waited for before they are left behind.
constexpr auto stopGrace = std::chrono::milliseconds(200);

unsigned usableCores()
{
    cpu_set_t cores;
    if (::sched_getaffinity(0, sizeof cores, &cores) == 0)
        return unsigned(std::max(CPU_COUNT(&cores), 1));
    return std::max(std::thread::hardware_concurrency(), 1U);
}

// Walks the tree on threads that share it out as they go: a walker with
// nothing to do gets the subdirectory nearest the start of another's walk.
// The calling thread reports progress, and adds threads as ThreadGrowth says.
// The first failure of any walker stops them all, and is thrown again here.
//
// Once stopped, a walker may still be waiting in the kernel on a file
// system that no longer answers, and never end: the scan then leaves it
// behind, and the scan itself must be left to it, since it holds all that a
// walker uses (the root's descriptor, the mount points, the rules, the
// recording), except what the rules point to.
class ThreadedScan
{
public:
    ThreadedScan(const std::string &rootPath, ScopedDescriptor root, const WalkProgress *progress,
                 const std::atomic<bool> *cancel, const WalkRules *rules)
        : m_root(std::move(root))
        , m_rootOnPseudoFileSystem(fileSystemTraits(m_root.get()).kernelPseudo)
        , m_pool({AT_FDCWD, rootPath, {}, &m_tree})
        , m_progress(progress)
        , m_cancel(cancel)
        , m_rules(rules ? std::optional<WalkRules>(*rules) : std::nullopt)
    {
    }
    // Also when run() fails part way: no walker may outlive the scan.
    ~ThreadedScan()
    {
        m_pool.stop();
        m_threads.joinAll();
    }

    // Gives false when walkers were left behind.
    bool run(unsigned firstThreads, unsigned threadLimit, std::size_t descriptorsPerWalk)
    {
        m_limits.descriptorBudget = descriptorsPerWalk;
        m_limits.mountPoints = &m_mountPoints;
        m_limits.rules = m_rules ? &*m_rules : nullptr;
        m_limits.stop = &m_pool.stopped();
        for (unsigned i = 0; i < firstThreads; ++i)
            startThread();
        if (m_threads.empty()) // none could be started: walk here
            work();

        ThreadGrowth growth;
        for (int walking = 0; !m_pool.waitForEnd(lookInterval, walking);) {
            if (m_cancel && *m_cancel)
                m_pool.stop();
            if (m_progress && m_progress->report)
                m_progress->report(m_entriesSeen);
            if (m_threads.size() >= threadLimit || !growth.shouldDouble(threadIds(), walking, m_threads.size()))
                continue;
            for (std::size_t more = m_threads.size(); more > 0 && m_threads.size() < threadLimit; --more)
                startThread();
        }
        // A walk that ended has let its walker go; a stopped one may be stuck.
        if (!m_pool.stopped()) {
            m_threads.joinAll();
            return true;
        }
        return m_threads.joinAllWithin(stopGrace);
    }

    // Once run() has ended with every walker: the recording, or the failure.
    TreeRecording takeRecording()
    {
        throwFailure();
        return std::move(m_tree);
    }

    void throwFailure()
    {
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    // When no thread can be started, fewer walk the tree.
    void startThread() { m_threads.start([this] { work(); }); }

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
                limits.sink = &m_pool.sinkFor(m_root.get(), task);
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

    const ScopedDescriptor m_root;
    const bool m_rootOnPseudoFileSystem;
    const MountPoints m_mountPoints;
    TreeRecording m_tree;
    TaskPool m_pool;
    const WalkProgress *const m_progress;
    const std::atomic<bool> *const m_cancel;
    const std::optional<WalkRules> m_rules;
    WalkLimits m_limits;
    WalkerThreads m_threads;
    std::mutex m_idsMutex;
    std::vector<pid_t> m_threadIds; // of the threads that have begun to work
    std::atomic<std::uint64_t> m_entriesSeen{0};
    std::mutex m_failureMutex;
    std::exception_ptr m_failure;
};

// Keeps a scan whose walkers were left behind for as long as the process
// lives: a walker goes on with it whenever its call returns.
void keepForWalkersLeftBehind(ThreadedScan *scan)
{
    static std::mutex keptMutex;
    static auto *const kept = new std::vector<ThreadedScan *>;
    const std::lock_guard<std::mutex> lock(keptMutex);
    kept->push_back(scan);
}

} // namespace

TreeRecording scanTree(const std::string &rootPath, const WalkProgress *progress, unsigned threads,
                       const std::atomic<bool> *cancel, const WalkRules *rules, bool *walkersLeftBehind)
{
    // One descriptor stays open on the root, for the walks of subtrees, and
    // one is kept for looking at how the threads fare.
    const std::size_t freeDescriptors = freeDescriptorCount();
    const std::size_t forWalks = freeDescriptors > 2 ? freeDescriptors - 2 : 0;
    const unsigned affordable = unsigned(std::min<std::size_t>(forWalks / descriptorsPerThreadedWalk, mostThreads));
    const unsigned most = threads > 0 ? std::min(threads, affordable) : affordable;
    const unsigned first = threads > 0 ? most : std::min(usableCores(), most);
    ScopedDescriptor root(most >= 2 ? ::open(rootPath.c_str(), directoryOpenFlags) : -1);
    if (!root.isValid()) {
        const MountPoints mountPoints;
        WalkLimits alone;
        alone.descriptorBudget = std::min(freeDescriptors, mostWalkDescriptors);
        alone.stop = cancel;
        alone.mountPoints = &mountPoints;
        alone.rules = rules;
        TreeRecording tree;
        walkFrom({AT_FDCWD, rootPath, {}}, tree, progress, alone);
        return tree;
    }
    auto scan = std::make_unique<ThreadedScan>(rootPath, std::move(root), progress, cancel, rules);
    if (scan->run(first, most, std::min(forWalks / most, mostWalkDescriptors)))
        return scan->takeRecording();
    ThreadedScan *const leftBehind = scan.release();
    keepForWalkersLeftBehind(leftBehind);
    if (walkersLeftBehind)
        *walkersLeftBehind = true;
    leftBehind->throwFailure();
    return {};
}
