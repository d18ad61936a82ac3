#pragma once

#include "directoryidentity.h"
#include "subtreehandover.h"
#include "treerecording.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A subtree to walk, and the recording its walk fills.
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
//
// Every handed-over subtree is opened by its path from the root, relative to
// the descriptor the scan holds on the root. The walk names a subdirectory
// by its path from the walk's own start, so the sink puts the start's path
// from the root in front: nothing for the walk of the root itself, the
// task's path and "/" for the walk of a subtree that was handed over.
class PoolSink : public SubtreeSink
{
public:
    PoolSink(TaskPool &pool, int rootFd, const SubtreeTask &task);

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
// all walks, kept until every thread has ended. The scan is over once no
// task is left and no walk is under way, or once it is stopped.
class TaskPool
{
public:
    explicit TaskPool(SubtreeTask first);

    // How many walkers wait for work that no task in the pool answers.
    const std::atomic<int> &wanted() const { return m_wanted; }
    const std::atomic<bool> &stopped() const { return m_stopped; }

    void add(SubtreeTask task);
    // Waits for a task, and gives false once none is left and none can come.
    bool take(SubtreeTask &task);
    // The sink for the walk of a task just taken.
    PoolSink &sinkFor(int rootFd, const SubtreeTask &task);
    // The walk of a task taken has ended.
    void done();
    void stop();
    // Waits up to `interval` for the end; gives whether it came, and the
    // number of walks under way.
    bool waitForEnd(std::chrono::milliseconds interval, int &walking);

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
