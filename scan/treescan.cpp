#include "treescan.h"

#include "descriptorbudget.h"
#include "pseudofilesystem.h"
#include "scopeddescriptor.h"
#include "treewalker.h"

#include <fcntl.h>

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

// Walks run at once only while each can hold a few descriptors.
constexpr std::size_t descriptorsPerThreadedWalk = 4;
constexpr std::size_t mostDescriptorsPerWalk = 32;

// Walks the tasks on `threads` threads. The caller waits, reporting how many
// entries the threads have seen while they work.
void runTasks(int rootFd, bool rootOnPseudoFileSystem, const std::vector<SubtreeTask> &tasks, unsigned threads,
              std::size_t descriptorsPerWalk, const WalkProgress *progress, const std::atomic<bool> *cancel)
{
    // Set when the scan is given up: cancelled, or one walk failed.
    std::atomic<bool> stop{false};
    const WalkLimits limits{descriptorsPerWalk, 0, nullptr, &stop};
    std::atomic<std::size_t> nextTask{0};
    std::atomic<std::uint64_t> entriesSeen{0};
    std::mutex mutex;
    std::condition_variable finished;
    unsigned running = 0;
    std::exception_ptr failure;

    auto work = [&] {
        WalkProgress counting{[&](std::uint64_t) { entriesSeen += countingInterval; }, countingInterval};
        try {
            for (std::size_t i = nextTask++; i < tasks.size() && !stop; i = nextTask++)
                walkFrom({rootFd, tasks[i].path, tasks[i].ancestors, rootOnPseudoFileSystem}, *tasks[i].into, &counting,
                         limits);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!failure)
                failure = std::current_exception();
            stop = true;
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
        while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; })) {
            if (cancel && *cancel)
                stop = true;
            if (progress && progress->report)
                progress->report(entriesSeen);
        }
    }
    for (std::thread &worker : workers)
        worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

TreeRecording scanTree(const std::string &rootPath, const WalkProgress *progress, unsigned threads,
                       const std::atomic<bool> *cancel)
{
    TreeRecording tree;
    // One descriptor stays open on the root for the walks of the subtrees.
    const std::size_t freeDescriptors = freeDescriptorCount();
    const std::size_t forWalks = freeDescriptors > 0 ? freeDescriptors - 1 : 0;
    threads = unsigned(std::min<std::size_t>(threadCount(threads), forWalks / descriptorsPerThreadedWalk));
    if (threads < 2) {
        WalkLimits alone;
        alone.descriptorBudget = std::min(freeDescriptors, mostDescriptorsPerWalk);
        alone.stop = cancel;
        walkFrom({AT_FDCWD, rootPath, {}}, tree, progress, alone);
        return tree;
    }

    const ScopedDescriptor root(::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const bool rootOnPseudoFileSystem = root.isValid() && isKernelPseudoFileSystem(root.get());
    const WalkLimits splitting{std::min(forWalks, mostDescriptorsPerWalk), 1, nullptr, cancel};
    std::vector<SubtreeTask> tasks;
    {
        TaskCollector collector(tree, {}, tasks);
        WalkLimits limits = splitting;
        limits.sink = &collector;
        walkFrom({AT_FDCWD, rootPath, {}}, tree, nullptr, limits);
    }
    // While there are too few tasks, each is split in turn one level down.
    for (int round = 1; round < splitRounds && !tasks.empty() && tasks.size() < tasksPerThread * threads; ++round) {
        std::vector<SubtreeTask> smaller;
        for (const SubtreeTask &task : tasks) {
            TaskCollector collector(*task.into, task.path + '/', smaller);
            WalkLimits limits = splitting;
            limits.sink = &collector;
            walkFrom({root.get(), task.path, task.ancestors, rootOnPseudoFileSystem}, *task.into, nullptr, limits);
        }
        tasks = std::move(smaller);
    }
    if (!tasks.empty() && root.isValid())
        runTasks(root.get(), rootOnPseudoFileSystem, tasks, threads,
                 std::min(forWalks / threads, mostDescriptorsPerWalk), progress, cancel);
    return tree;
}
