#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// The stages of a map run that are done off the GUI thread.
enum class MapStage { CheckingRoot, Listing, Mapping, Saving };

// The request to stop one map run, shared by the window and the threads that
// do the run's work. Once the report is being put in place, the run is past
// stopping: it ends as that ends, so that what it says of the report is true.
class StopRequest
{
public:
    const std::atomic<bool> &flag() const { return m_requested; }
    bool isRequested() const { return m_requested; }

    // Gives false when the report is already being put in place.
    bool request();
    // Gives false when a stop was requested; from then on none is taken.
    bool beginSaving();

private:
    std::mutex m_mutex;
    bool m_saving = false;
    std::atomic<bool> m_requested{false};
};

// The map run under way, as the window sees it: the run does each stage on a
// thread of its own while the GUI thread waits for it in an event loop, so
// the window keeps painting and answering. The window can ask the run to
// stop; a stage that was asked to stop and has not ended after `stopGrace`
// (a thread stuck in the kernel) is left to end on its own.
class MapRunControl
{
public:
    using Observer = std::function<void(MapStage stage, std::uint64_t entriesSeen)>;

    static constexpr std::chrono::milliseconds stopGrace{250};

    MapRunControl() = default;
    MapRunControl(const MapRunControl &) = delete;
    MapRunControl &operator=(const MapRunControl &) = delete;

    bool isRunning() const { return m_stop != nullptr; }
    // Asks the run under way to stop soon, leaving an earlier report as it
    // was (Esc).
    void cancel();
    // The same, and a report being put in place is not waited for beyond
    // `stopGrace` either: the program is about to end.
    void cancelAndLeave();

    // For those who follow a run, such as tests: `observer` is called on the
    // thread doing a stage, as the stage begins (with 0) and as it goes on.
    void setObserver(Observer observer) { m_observer = std::move(observer); }
    const Observer &observer() const { return m_observer; }

    // Used by the run itself, on the GUI thread.
    std::shared_ptr<StopRequest> begin();
    void end();
    // Runs `work` on a thread of its own while this thread handles its
    // events, and gives true once it has ended. Gives false when the run was
    // stopped and the work had not ended `stopGrace` later; it then goes on
    // alone, so `work` must own all it uses. Where no thread can be started,
    // `work` runs on this thread.
    bool runOffThread(std::function<void()> work);

private:
    void wakeWaiting();

    std::shared_ptr<StopRequest> m_stop;
    Observer m_observer;
    bool m_leaving = false;
    std::function<void()> m_wake; // while runOffThread waits
};
