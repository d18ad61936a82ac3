#pragma once

#include <atomic>
#include <mutex>

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
