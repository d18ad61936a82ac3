#include "treescan.h"

#include "scopeddescriptor.h"
#include "treewalker.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Tasks come from splitting the top of the tree until there are enough of
// them to keep every thread busy while the sizes of subtrees vary.
constexpr std::size_t tasksPerThread = 8;
constexpr int splitRounds = 3;
constexpr std::uint64_t countingInterval = 1024;

struct SubtreeTask
{
    TreeRecording *into;
    std::string path; // relative to the root
    std::vector<DirectoryIdentity> ancestors;
};

// Turns each subdirectory a walk defers into a task recorded in its place.
class TaskCollector : public SubtreeSink
{
public:
    TaskCollector(TreeRecording &recording, std::string prefix, std::vector<SubtreeTask> &tasks)
        : m_recording(recording)
        , m_prefix(std::move(prefix))
        , m_tasks(tasks)
    {
    }

    void deferSubtree(std::string path, std::vector<DirectoryIdentity> ancestors) override
    {
        m_tasks.push_back({&m_recording.addSubtree(), m_prefix + path, std::move(ancestors)});
    }

private:
    TreeRecording &m_recording;
    const std::string m_prefix;
    std::vector<SubtreeTask> &m_tasks;
};

unsigned threadCount(unsigned requested)
{
    if (requested > 0)
        return requested;
    return std::clamp(std::thread::hardware_concurrency(), 1U, 4U);
}

// Shares the descriptors the process may still open among the walks that run
// at once, keeping some for everything else.
std::size_t descriptorBudget(unsigned walks)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 32;
    const rlim_t spare = limit.rlim_cur > 64 ? limit.rlim_cur - 32 : limit.rlim_cur / 2;
    return std::clamp<std::size_t>(spare / walks, 4, 32);
}

// Walks the tasks on `threads` threads. The caller waits, reporting how many
// entries the threads have seen while they work.
void runTasks(int rootFd, const std::vector<SubtreeTask> &tasks, unsigned threads, const WalkProgress *progress)
{
    const WalkLimits limits{descriptorBudget(threads), 0, nullptr};
    std::atomic<std::size_t> nextTask{0};
    std::atomic<std::uint64_t> entriesSeen{0};
    std::mutex mutex;
    std::condition_variable finished;
    unsigned running = 0;
    std::exception_ptr failure;

    auto work = [&] {
        WalkProgress counting{[&](std::uint64_t) { entriesSeen += countingInterval; }, countingInterval};
        try {
            for (std::size_t i = nextTask++; i < tasks.size(); i = nextTask++)
                walkFrom({rootFd, tasks[i].path, tasks[i].ancestors}, *tasks[i].into, &counting, limits);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!failure)
                failure = std::current_exception();
            nextTask = tasks.size();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        --running;
        finished.notify_one();
    };

    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ++running;
        }
        try {
            workers.emplace_back(work);
        } catch (const std::system_error &) {
            const std::lock_guard<std::mutex> lock(mutex);
            --running;
            break;
        }
    }
    if (workers.empty()) { // no thread could be started: walk them here
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ++running;
        }
        work();
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; }))
            if (progress && progress->report)
                progress->report(entriesSeen);
    }
    for (std::thread &worker : workers)
        worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

TreeRecording scanTree(const std::string &rootPath, const WalkProgress *progress, unsigned threads)
{
    threads = threadCount(threads);
    TreeRecording tree;
    if (threads == 1) {
        walkTree(rootPath, tree, progress);
        return tree;
    }

    const ScopedDescriptor root(::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::size_t budgetAlone = descriptorBudget(1);
    std::vector<SubtreeTask> tasks;
    {
        TaskCollector collector(tree, {}, tasks);
        walkFrom({AT_FDCWD, rootPath, {}}, tree, nullptr, {budgetAlone, 1, &collector});
    }
    // While there are too few tasks, each is split in turn one level down.
    for (int round = 1; round < splitRounds && !tasks.empty() && tasks.size() < tasksPerThread * threads; ++round) {
        std::vector<SubtreeTask> smaller;
        for (const SubtreeTask &task : tasks) {
            TaskCollector collector(*task.into, task.path + '/', smaller);
            walkFrom({root.get(), task.path, task.ancestors}, *task.into, nullptr, {budgetAlone, 1, &collector});
        }
        tasks = std::move(smaller);
    }
    if (!tasks.empty())
        runTasks(root.get(), tasks, threads, progress);
    return tree;
}
