#include "mapruncontrol.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <condition_variable>
#include <system_error>
#include <thread>

namespace {

// Tells the waiting GUI thread that the work has ended. The waiter is set
// and cleared under the mutex, so the thread never posts to a loop that is
// gone; one that goes takes its posted wake-up with it.
struct Handoff
{
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    QEventLoop *waiter = nullptr;
    std::function<void()> wake;

    void finish()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        endedChanged.notify_all();
        if (waiter)
            QMetaObject::invokeMethod(waiter, wake, Qt::QueuedConnection);
    }
};

} // namespace

bool StopRequest::request()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_saving)
        return false;
    m_requested = true;
    return true;
}

bool StopRequest::beginSaving()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_requested)
        return false;
    m_saving = true;
    return true;
}

void MapRunControl::cancel()
{
    if (m_stop && m_stop->request())
        wakeWaiting();
}

void MapRunControl::cancelAndLeave()
{
    if (!m_stop)
        return;
    m_stop->request();
    m_leaving = true;
    wakeWaiting();
}

std::shared_ptr<StopRequest> MapRunControl::begin()
{
    m_stop = std::make_shared<StopRequest>();
    m_leaving = false;
    return m_stop;
}

void MapRunControl::end()
{
    m_stop.reset();
}

void MapRunControl::wakeWaiting()
{
    if (m_wake)
        m_wake();
}

bool MapRunControl::runOffThread(std::function<void()> work)
{
    auto handoff = std::make_shared<Handoff>();
    auto job = std::make_shared<std::function<void()>>(std::move(work));
    try {
        // Detached at once: nothing ever joins it, so it may outlive the wait,
        // and even the window, without harm.
        std::thread([handoff, job]() mutable {
            (*job)();
            job.reset();
            handoff->finish();
        }).detach();
    } catch (const std::system_error &) {
        (*job)();
        return true;
    }
    job.reset();

    QEventLoop loop;
    bool woken = false;
    const auto wake = [&woken, &loop] {
        woken = true;
        loop.quit();
    };
    {
        const std::lock_guard<std::mutex> lock(handoff->mutex);
        if (handoff->ended)
            return true;
        handoff->waiter = &loop;
        handoff->wake = wake;
    }
    QTimer grace;
    grace.setSingleShot(true);
    QObject::connect(&grace, &QTimer::timeout, &loop, wake);
    m_wake = wake;

    bool graceStarted = false;
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(handoff->mutex);
            if (handoff->ended)
                break;
        }
        if (!graceStarted && (m_leaving || (m_stop && m_stop->isRequested()))) {
            grace.start(stopGrace);
            graceStarted = true;
        } else if (graceStarted && !grace.isActive()) {
            break;
        }
        woken = false;
        loop.exec();
        if (!woken) {
            // The application is quitting, and its event loops no longer
            // run: stop the run and wait a moment, without events, for it.
            if (m_stop)
                m_stop->request();
            std::unique_lock<std::mutex> lock(handoff->mutex);
            handoff->endedChanged.wait_for(lock, stopGrace, [&] { return handoff->ended; });
            break;
        }
    }
    m_wake = nullptr;
    const std::lock_guard<std::mutex> lock(handoff->mutex);
    handoff->waiter = nullptr;
    return handoff->ended;
}
