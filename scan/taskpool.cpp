#include "taskpool.h"

#include <algorithm>

PoolSink::PoolSink(TaskPool &pool, int rootFd, const SubtreeTask &task)
    : m_pool(pool)
    , m_rootFd(rootFd)
    , m_prefix(task.baseFd == rootFd ? task.path + '/' : std::string())
    , m_recording(*task.into)
{
}

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

TaskPool::TaskPool(SubtreeTask first)
{
    m_tasks.push_back(std::move(first));
}

void TaskPool::add(SubtreeTask task)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_tasks.push_back(std::move(task));
    updateWanted();
    m_work.notify_one();
}

bool TaskPool::take(SubtreeTask &task)
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

PoolSink &TaskPool::sinkFor(int rootFd, const SubtreeTask &task)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return *m_sinks.emplace_back(std::make_unique<PoolSink>(*this, rootFd, task));
}

void TaskPool::done()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_walking == 0 && m_tasks.empty()) {
        m_work.notify_all();
        m_finished.notify_all();
    }
}

void TaskPool::stop()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = true;
    m_work.notify_all();
    m_finished.notify_all();
}

bool TaskPool::waitForEnd(std::chrono::milliseconds interval, int &walking)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool over = m_finished.wait_for(lock, interval, [&] { return isOver(); });
    walking = m_walking;
    return over;
}
