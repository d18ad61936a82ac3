#pragma once

#include "stagethreads.h"
#include "stoprequest.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// The stages of one map run, done one after another, each on a thread of its
// own, without the GUI thread ever waiting for one. The run can be asked to
// stop; a stage that was asked to and has not ended after `stopGrace` (a
// thread stuck in the kernel) is left to end on its own.
class RunStages : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds stopGrace{250};

    // Told on the GUI thread: whether the stage ended, or was left to end alone.
    using Then = std::function<void(bool ended)>;

    explicit RunStages(QObject *parent = nullptr);
    // Asks a stage under way to stop, and waits up to `stopGrace` for it.
    ~RunStages() override;

    // A run begins, with a stop request of its own that its stages share, and ends.
    const std::shared_ptr<StopRequest> &begin();
    void end();
    bool isRunning() const { return m_stop != nullptr; }
    bool stopRequested() const { return m_stop && m_stop->isRequested(); }

    // Does `work` on a thread, then `then`. Only one stage at a time.
    void run(std::function<void()> work, StagePriority priority, Then then);
    // Asks the run to stop soon, leaving an earlier report as it was: refused
    // once the report is being put in place.
    void cancel();
    // The same, as the program is about to end: the stages begun from now on
    // are waited for only up to `stopGrace`. A report being put in place is
    // still waited for to the end.
    void cancelAndLeave();
    bool isLeaving() const { return m_leaving; }

private:
    void stageEnded(unsigned stage);
    void graceOver();
    void startGrace();

    StageThreads m_threads;
    std::shared_ptr<StopRequest> m_stop;
    bool m_leaving = false;
    unsigned m_stage = 0; // the stage waited for; 0: none
    Then m_then;
    QTimer m_grace;
};
