// The states of a run's stages. The GUI thread waits in none of them, each
// arrow an event it handles and returns from; only the destructor waits, up
// to stopGrace.
//
//                 run()                      cancel(), cancelAndLeave()
//     +------+ ----------> +-----------+ -------------------------------> +----------+
//     | idle |             | under way |                                  | stopping |
//     +------+ <---------- +-----------+                                  +----------+
//       ^  ^    its thread ends:                                           |      |
//       |  |    then(true)                   its thread ends: then(true)   |      | stopGrace over:
//       |  +---------------------------------------------------------------+      | then(false)
//       |                                                                         v
//       |                                                                  +----------+
//       +------------------------------------------------------------------| detached |
//                          at once; the next stage may start               +----------+
//
// under way: the stage's thread works; its end comes as a queued call.
// stopping: the stop is asked for and the grace timer runs. A stage begun
// once a stop was asked for, or while the program is leaving, starts here.
// detached: the thread ends alone, with all it uses, and its end is ignored.
// A stop refused because the report is being put in place stays under way,
// even while the program is leaving.
#include "runstages.h"

#include <cassert>
#include <utility>

RunStages::RunStages(QObject *parent)
    : QObject(parent)
    , m_threads(this, [this](unsigned stage) { stageEnded(stage); })
{
    m_grace.setSingleShot(true);
    m_grace.setInterval(stopGrace);
    connect(&m_grace, &QTimer::timeout, this, &RunStages::graceOver);
}

RunStages::~RunStages()
{
    if (m_stop)
        m_stop->request();
    if (m_stage != 0)
        m_threads.waitForEnd(m_stage, stopGrace);
}

const std::shared_ptr<StopRequest> &RunStages::begin()
{
    m_stop = std::make_shared<StopRequest>();
    m_leaving = false;
    return m_stop;
}

void RunStages::end()
{
    m_grace.stop();
    m_stop.reset();
    m_leaving = false;
}

void RunStages::run(std::function<void()> work, StagePriority priority, Then then)
{
    assert(m_stop && m_stage == 0);
    m_then = std::move(then);
    m_stage = m_threads.start(std::move(work), priority);
    if (m_leaving || m_stop->isRequested())
        startGrace();
}

void RunStages::cancel()
{
    if (m_stop && m_stop->request() && m_stage != 0)
        startGrace();
}

void RunStages::cancelAndLeave()
{
    if (!m_stop)
        return;
    m_leaving = true;
    // A report being put in place is waited for, however long it takes: left
    // to itself, it would end with the program, part old, part new.
    if (m_stop->request() && m_stage != 0)
        startGrace();
}

void RunStages::startGrace()
{
    if (!m_grace.isActive())
        m_grace.start();
}

void RunStages::stageEnded(unsigned stage)
{
    // A stage left to end alone ends after its run.
    if (stage != m_stage)
        return;
    m_stage = 0;
    m_grace.stop();
    std::exchange(m_then, nullptr)(true);
}

void RunStages::graceOver()
{
    if (m_stage == 0)
        return;
    m_stage = 0;
    std::exchange(m_then, nullptr)(false);
}
