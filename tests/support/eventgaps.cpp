#include "eventgaps.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>

namespace {

constexpr auto tickInterval = std::chrono::milliseconds(10);
// Gaps shorter than this are taken as they are, stalls or not.
constexpr auto noted = std::chrono::milliseconds(30);

qint64 milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

} // namespace

EventGaps::EventGaps()
{
    cpu_set_t usable;
    if (::sched_getaffinity(0, sizeof usable, &usable) == 0) {
        for (int processor = 0; processor < CPU_SETSIZE; ++processor) {
            if (CPU_ISSET(processor, &usable))
                m_watchers.emplace_back([this, processor] { watchProcessor(processor); });
        }
    }
    m_ticker.setInterval(tickInterval);
    m_ticker.setTimerType(Qt::PreciseTimer);
    connect(&m_ticker, &QTimer::timeout, this, &EventGaps::tick);
    m_last = Clock::now();
    m_ticker.start();
}

EventGaps::~EventGaps()
{
    m_stopping = true;
    for (std::thread &watcher : m_watchers)
        watcher.join();
}

void EventGaps::watchProcessor(int processor)
{
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    if (::pthread_setaffinity_np(::pthread_self(), sizeof one, &one) != 0)
        return;
    for (Clock::time_point last = Clock::now(); !m_stopping;) {
        std::this_thread::sleep_for(tickInterval);
        const Clock::time_point now = Clock::now();
        if (now - last > noted) {
            const std::lock_guard<std::mutex> lock(m_stallsMutex);
            m_stalls.push_back({last, now});
        }
        last = now;
    }
}

void EventGaps::tick()
{
    const Clock::time_point now = Clock::now();
    if (now - m_last > noted)
        m_gaps.push_back({m_last, now});
    else
        m_longestShort = std::max(m_longestShort, milliseconds(now - m_last));
    m_last = now;
}

std::vector<EventGaps::Gap> EventGaps::gapsUpToNow() const
{
    std::vector<Gap> gaps = m_gaps;
    gaps.push_back({m_last, Clock::now()});
    return gaps;
}

qint64 EventGaps::longest() const
{
    std::vector<Gap> stalls;
    {
        const std::lock_guard<std::mutex> lock(m_stallsMutex);
        stalls = m_stalls;
    }
    qint64 longest = m_longestShort;
    for (const Gap &gap : gapsUpToNow()) {
        Clock::duration mostStalled{};
        for (const Gap &stall : stalls) {
            const Clock::time_point from = std::max(gap.from, stall.from);
            const Clock::time_point to = std::min(gap.to, stall.to);
            if (to > from)
                mostStalled = std::max(mostStalled, to - from);
        }
        longest = std::max(longest, milliseconds(gap.to - gap.from - mostStalled));
    }
    return longest;
}

qint64 EventGaps::longestSeen() const
{
    qint64 longest = m_longestShort;
    for (const Gap &gap : gapsUpToNow())
        longest = std::max(longest, milliseconds(gap.to - gap.from));
    return longest;
}
