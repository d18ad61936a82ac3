#pragma once

#include "runstages.h"
#include "runstatus.h"
#include "runwork.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

// One map run after another, as the window performs them: checks the root,
// lists and counts the tree, maps it into the report as it writes it, puts
// the report in place and, when asked to, opens it. The GUI thread never
// waits for a stage: it goes on handling events, a message box's too. The
// run tells what happens through its signals, and the window shows it.
class MapRun : public QObject
{
    Q_OBJECT

public:
    static constexpr auto stopGrace = RunStages::stopGrace;

    explicit MapRun(QObject *parent = nullptr);

    bool isRunning() const { return m_stages.isRunning(); }
    // Begins a run, unless one is under way; finished() tells that it is over.
    void start(const MapRequest &request);
    // Asks the run under way to stop soon, leaving an earlier report as it
    // was (Esc).
    void cancel() { m_stages.cancel(); }
    // The same, as the program is about to end; a report being put in place
    // is waited for to the end, and the status bar says so.
    void cancelAndLeave();

    // For those who follow a run, such as tests.
    void setObserver(StageObserver observer) { m_observer = std::move(observer); }

signals:
    // A change of a label, seen by the event loop before the next one.
    void labelChanged(MapStage stage, bool enabled, const QString &text);
    // How far the stage under way has come, for the status bar meanwhile.
    void progressChanged(const QString &status);
    // How the run ended, with details one a line; both empty as a run begins.
    // `path` is the path the outcome names, if any, as it is written in it.
    void outcomeChanged(const QString &outcome, const QString &details, const QString &path);
    // A message box to show; the run goes on once the user has closed it.
    void warning(const QString &title, const QString &text);
    void finished();

private:
    using Step = void (MapRun::*)();

    void afterEvents(Step next);
    void runStage(MapStage stage, void (RunWork::*step)(), Step then);
    void showProgress();
    void showOutcome(const QString &outcome, const QString &details = {}, const QString &path = {});

    // The steps of a run, in order.
    void enableCounting();
    void checkRoot();
    void rootChecked();
    void listed();
    void enableMapping();
    void map();
    void mapped();
    void enableWriting();
    void save();
    void saved();
    void openIfAsked();
    void opened();
    void notWritten(const QString &reason);
    void cancelled();
    void release();
    void finish();

    RunStages m_stages;
    StageObserver m_observer;
    std::shared_ptr<RunWork> m_work;
    Step m_next = nullptr;
    QTimer m_nextTimer;
    QTimer m_statusTimer;
    std::optional<MapStage> m_shownStage;
    std::uint64_t m_entriesInAll = 0;
    QString m_outcome;
    QString m_details;
    QString m_outcomePath;
};
