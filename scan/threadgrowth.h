#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

// What the walkers did between two looks at them.
struct WalkersSeen
{
    int walking = 0;                // walks under way
    bool sameThreads = false;       // no thread began to work in between
    double busyShare = 0;           // of the walking threads' time, running or ready to run
    double bytesFetchedPerSecond = 0; // read from storage devices
};

// Whether twice as many walkers would go faster. A walk that waits on the
// disk rather than on the processors gains from more threads than cores:
// while the walkers read directories from the disk at a pace that keeps a
// disk busy, or spend less than half their time running or ready to run.
bool moreWalkersHelp(const WalkersSeen &seen);

// When a scan adds walking threads, as moreWalkersHelp says; each look
// compares what happened since the one before.
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
