#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

// The threads a scan walks on. A walk keeps its own stack on the heap, so
// each thread gets a small stack instead of the default 8 MiB; the
// program's main has them share one malloc arena (mallocarena.h). All are
// joined before it is destroyed.
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

private:
    struct Thread
    {
        pthread_t handle;
        std::function<void()> work;
    };

    std::vector<std::unique_ptr<Thread>> m_threads;
};
