#include "walkerthreads.h"

#include <csignal>

namespace {

// Room for the walk's own calls, with a wide margin: it never recurses.
constexpr std::size_t stackBytes = 256 * 1024;

// Blocks the signals that ask for a stop in the calling thread while it
// lives: a thread started meanwhile inherits the mask.
class StopSignalsBlocked
{
public:
    StopSignalsBlocked()
    {
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&stopSignals, signal);
        m_blocked = ::pthread_sigmask(SIG_BLOCK, &stopSignals, &m_previous) == 0;
    }
    ~StopSignalsBlocked()
    {
        if (m_blocked)
            ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    StopSignalsBlocked(const StopSignalsBlocked &) = delete;
    StopSignalsBlocked &operator=(const StopSignalsBlocked &) = delete;

private:
    sigset_t m_previous;
    bool m_blocked = false;
};

} // namespace

void *WalkerThreads::run(void *started)
{
    auto *thread = static_cast<Thread *>(started);
    thread->work();
    thread->owner->workEnded();
    return nullptr;
}

void WalkerThreads::workEnded()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_ended;
    m_workEnded.notify_all();
}

bool WalkerThreads::start(std::function<void()> work)
{
    auto thread = std::make_unique<Thread>(Thread{this, {}, std::move(work)});
    m_threads.reserve(m_threads.size() + 1); // nothing may throw once it runs
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0)
        return false;
    bool started;
    {
        const StopSignalsBlocked blocked;
        started = ::pthread_attr_setstacksize(&attributes, stackBytes) == 0
            && ::pthread_create(&thread->handle, &attributes, run, thread.get()) == 0;
    }
    ::pthread_attr_destroy(&attributes);
    if (started)
        m_threads.push_back(std::move(thread));
    return started;
}

void WalkerThreads::joinAll()
{
    for (const auto &thread : m_threads)
        ::pthread_join(thread->handle, nullptr);
    m_threads.clear();
    m_ended = 0;
}

bool WalkerThreads::joinAllWithin(std::chrono::milliseconds limit)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_workEnded.wait_for(lock, limit, [this] { return m_ended == m_threads.size(); }))
            return false;
    }
    joinAll();
    return true;
}
