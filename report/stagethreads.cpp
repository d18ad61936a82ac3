#include "stagethreads.h"

#include <QMetaObject>
#include <QObject>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Nice values the lower stages add to the window's: enough that a walker
// competing with the GUI thread for a core gets about a tenth of it.
constexpr int lowerBy = 10;
constexpr int weakestNice = 19;

// A new thread inherits the nice value of the thread that starts it, and on
// Linux each thread has its own, so this lowers the calling thread alone.
void lowerPriority()
{
    const pid_t thread = ::gettid();
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, thread);
    if (nice == -1 && errno != 0)
        return;
    ::setpriority(PRIO_PROCESS, thread, std::min(nice + lowerBy, weakestNice));
}

} // namespace

// The receiver is set and cleared under the mutex, so no stage ever posts to
// an object that is gone; one that goes takes its posted calls with it.
struct StageThreads::Shared
{
    std::mutex mutex;
    std::condition_variable endedChanged;
    QObject *receiver = nullptr;
    std::function<void(unsigned)> ended;
    std::vector<unsigned> running;

    void finish(unsigned stage)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        running.erase(std::remove(running.begin(), running.end(), stage), running.end());
        endedChanged.notify_all();
        if (receiver)
            QMetaObject::invokeMethod(receiver, [told = ended, stage] { told(stage); }, Qt::QueuedConnection);
    }
};

StageThreads::StageThreads(QObject *receiver, std::function<void(unsigned stage)> ended)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->receiver = receiver;
    m_shared->ended = std::move(ended);
}

StageThreads::~StageThreads()
{
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->receiver = nullptr;
}

unsigned StageThreads::start(std::function<void()> work, StagePriority priority)
{
    const unsigned stage = ++m_lastStage;
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->running.push_back(stage);
    }
    auto job = std::make_shared<std::function<void()>>(std::move(work));
    try {
        std::thread([shared = m_shared, job, stage, priority]() mutable {
            if (priority == StagePriority::Lower)
                lowerPriority();
            (*job)();
            // What the stage holds is let go of here, not on the window's thread.
            job.reset();
            shared->finish(stage);
        }).detach();
    } catch (const std::system_error &) {
        (*job)();
        m_shared->finish(stage);
    }
    return stage;
}

bool StageThreads::waitForEnd(unsigned stage, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->endedChanged.wait_for(lock, limit, [&] {
        const auto &running = m_shared->running;
        return std::find(running.begin(), running.end(), stage) == running.end();
    });
}
