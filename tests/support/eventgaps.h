#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// Measures, while it lives, how long the thread that made it goes at most
// without handling its events: a timer every 10 ms notes each time it is
// handled. A thread that sleeps between events is measured as a window
// waiting for its user is, not as one kept busy by the measuring.
//
// A shared machine stalls now and then, a processor at a time: on each
// processor a thread of its own sleeps as the timer's thread does and notes
// when it did not wake on time, and the longest such stall of one processor
// within a gap is not counted against the measured thread.
class EventGaps : public QObject
{
public:
    EventGaps();
    ~EventGaps() override;
    EventGaps(const EventGaps &) = delete;
    EventGaps &operator=(const EventGaps &) = delete;

    // In milliseconds, up to now, beyond the processors' own stalls.
    qint64 longest() const;
    // What that was before the stalls were taken off.
    qint64 longestSeen() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Gap
    {
        Clock::time_point from;
        Clock::time_point to;
    };

    void tick();
    std::vector<Gap> gapsUpToNow() const;
    void watchProcessor(int processor);

    QTimer m_ticker;
    Clock::time_point m_last;
    std::vector<Gap> m_gaps; // those long enough for a stall to be taken off
    qint64 m_longestShort = 0;
    int m_processors = 0;
    std::atomic<bool> m_stopping = false;
    mutable std::mutex m_stallsMutex;
    std::vector<Gap> m_stalls;
    std::vector<std::thread> m_watchers;
};
