#pragma once

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The threads a scan walks on. A walk keeps its own stack on the heap, so
// each thread gets a small stack instead of the default 8 MiB; the
// program's main has them share one malloc arena (mallocarena.h). They
// block the signals that ask a program to stop (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT), so that those reach a thread that can act on them rather than
// one waiting in the kernel on a file system that no longer answers.
// All are joined before it is destroyed.
class WalkerThreads
{
public:
    WalkerThreads() = default;
    WalkerThreads(const WalkerThreads &) = delete;
    WalkerThreads &operator=(const WalkerThreads &) = delete;
    ~WalkerThreads() { joinAll(); }

    // Runs `work` on a new thread; gives false when none can be started.
    bool start(std::function<void()> work);
    bool empty() const { return m_threads.empty(); }
    std::size_t size() const { return m_threads.size(); }
    void joinAll();
    // Joins them all if each has ended its work within `limit`; else joins
    // none and gives false: those still at work may never end.
    bool joinAllWithin(std::chrono::milliseconds limit);

private:
    struct Thread
    {
        WalkerThreads *owner;
        pthread_t handle;
        std::function<void()> work;
    };

    static void *run(void *thread);
    void workEnded();

    std::vector<std::unique_ptr<Thread>> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_workEnded;
    std::size_t m_ended = 0;
};
