#pragma once

#include <chrono>
#include <functional>
#include <memory>

class QObject;

// How a stage's thread is scheduled beside the thread that starts it.
enum class StagePriority {
    // Leaves the processor to the window first; the threads the stage starts
    // itself, such as the walkers of a listing, inherit it.
    Lower,
    // For a stage that starts a program of the desktop's, which would
    // inherit a lower priority too.
    Same,
};

// Runs the stages of map runs, each on a thread of its own that is detached
// at once: a stage stuck in the kernel may outlive its run, and even the
// window, so each stage must own all it uses. As a stage ends, `ended` is
// called with its number on the receiver's thread, through its event loop,
// for as long as this object lives.
class StageThreads
{
public:
    StageThreads(QObject *receiver, std::function<void(unsigned stage)> ended);
    ~StageThreads();
    StageThreads(const StageThreads &) = delete;
    StageThreads &operator=(const StageThreads &) = delete;

    // Starts `work` and gives the stage's number. Where no thread can be
    // started, `work` is done on this thread before this returns; its end is
    // told through the event loop all the same.
    unsigned start(std::function<void()> work, StagePriority priority);
    // Waits up to `limit`, handling no events, for the stage to end.
    bool waitForEnd(unsigned stage, std::chrono::milliseconds limit);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    unsigned m_lastStage = 0;
};
