#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

// When a scan adds walking threads. A walk that waits on the disk rather
// than on the processors gains from more threads than cores: while the
// walkers read directories from the disk, or spend less than half their time
// running or ready to run, twice as many are tried. Each look compares what
// happened since the one before.
class ThreadGrowth
{
public:
    ThreadGrowth();

    // Whether to double the threads, given those that have begun to work
    // (`threads`), how many walks are under way and how many threads were
    // started.
    bool shouldDouble(const std::vector<pid_t> &threads, int walking, std::size_t started);

private:
    std::chrono::steady_clock::time_point m_lastLook;
    std::uint64_t m_lastBusy = 0;
    std::uint64_t m_lastFetched;
    std::size_t m_lastThreads = 0; // how many were watched at the last look
};
