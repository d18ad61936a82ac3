#pragma once

#include <cstdint>
#include <functional>

// Called every `interval` entries with the number of entries seen so far.
struct WalkProgress
{
    std::function<void(std::uint64_t entriesSeen)> report;
    std::uint64_t interval = 16384;
};

// Counts entries and calls the progress hook every `interval` of them.
// Without a hook, counting costs a decrement.
class ProgressCounter
{
public:
    explicit ProgressCounter(const WalkProgress *progress);

    void count()
    {
        ++m_seen;
        if (--m_untilReport == 0)
            report();
    }

private:
    void report();

    const WalkProgress *m_progress;
    std::uint64_t m_seen = 0;
    std::uint64_t m_untilReport;
};
