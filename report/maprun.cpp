// A run's steps, one after another. [A stage] is done on a thread of its
// own, and the step after it comes once the thread has ended; a change of
// the labels is followed by a turn of the event loop (~):
//
//   labels reset ~ counting enabled ~ [check the root] [list the tree]
//   counted shown ~ mapping enabled ~ [map and write] mapped shown ~
//   writing enabled ~ [put the report in place] written shown ~
//   [open it], if asked; [let go of the run's work] finished()
//
// A stop, or a failure, ends the run early, with the third label saying
// that nothing was written; the message boxes of a run are shown between
// stages. RunStages keeps the states of the stages themselves.
#include "maprun.h"

#include "progresspace.h"

#include <QCoreApplication>

#include <cstring>

namespace {

// Directories, and entries, named in the details of a run that could not
// read some.
constexpr std::size_t unreadableShown = 20;

QString windowText(const char *text)
{
    return QCoreApplication::translate("Velmora", text);
}

} // namespace

MapRun::MapRun(QObject *parent)
    : QObject(parent)
{
    m_nextTimer.setSingleShot(true);
    m_nextTimer.setInterval(0);
    connect(&m_nextTimer, &QTimer::timeout, this, [this] { (this->*m_next)(); });
    m_statusTimer.setInterval(progressRedrawInterval);
    connect(&m_statusTimer, &QTimer::timeout, this, &MapRun::showProgress);
}

void MapRun::start(const MapRequest &request)
{
    if (isRunning())
        return;
    m_work = std::make_shared<RunWork>(request, m_stages.begin(), m_observer);
    // What the status bar said of an earlier run is no longer true.
    showOutcome({});
    for (MapStage stage : mapStages)
        emit labelChanged(stage, false, progressCaption(stage));
    afterEvents(&MapRun::enableCounting);
}

void MapRun::cancelAndLeave()
{
    m_stages.cancelAndLeave();
    showProgress();
}

void MapRun::afterEvents(Step next)
{
    m_next = next;
    m_nextTimer.start();
}

// Starts a stage of the run proper: one that a stop ends as "Map cancelled".
void MapRun::runStage(MapStage stage, void (RunWork::*step)(), Step then)
{
    if (m_stages.stopRequested())
        return cancelled();
    m_shownStage = stage;
    m_statusTimer.start();
    m_stages.run([work = m_work, step] { work->perform(step); }, StagePriority::Lower, [this, then](bool ended) {
        m_statusTimer.stop();
        m_shownStage.reset();
        if (!ended || m_stages.stopRequested())
            return cancelled();
        if (m_work->threw())
            return notWritten(m_work->failureReason());
        (this->*then)();
    });
}

void MapRun::showProgress()
{
    if (!m_shownStage || !m_work)
        return;
    switch (*m_shownStage) {
    case MapStage::Counting:
        emit progressChanged(countingStatus(m_work->entriesSeen));
        break;
    case MapStage::Mapping:
        emit progressChanged(mappingStatus(m_work->entriesSeen, m_entriesInAll, m_work->bytesWritten));
        break;
    case MapStage::Writing:
        emit progressChanged(m_stages.isLeaving() ? closingWhenWrittenStatus(m_work->bytesWritten)
                                                  : writingStatus(m_work->bytesWritten));
        break;
    }
}

void MapRun::showOutcome(const QString &outcome, const QString &details, const QString &path)
{
    m_outcome = outcome;
    m_details = details;
    m_outcomePath = path;
    emit outcomeChanged(outcome, details, path);
}

void MapRun::enableCounting()
{
    emit labelChanged(MapStage::Counting, true, progressCaption(MapStage::Counting));
    afterEvents(&MapRun::checkRoot);
}

void MapRun::checkRoot()
{
    runStage(MapStage::Counting, &RunWork::checkRoot, &MapRun::rootChecked);
}

void MapRun::rootChecked()
{
    const RunWork &work = *m_work;
    if (work.rootError != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(work.rootError));
        const QString root = work.request.root.isEmpty() ? QString() : work.absoluteRoot;
        showOutcome(notMappedStatus(root, reason), {}, root);
        emit warning(windowText("File Does Not Exist"),
                     QString::fromLatin1("Warning - Root Directory Folder Does Not Exist") + u'\n' + reason);
        return release();
    }
    if (work.outputPath.empty())
        emit warning(windowText("Output File Not Specified"), QString::fromLatin1("Warning - Output File Path Not Specified"));
    runStage(MapStage::Counting, &RunWork::list, &MapRun::listed);
}

void MapRun::listed()
{
    if (!m_work->counted)
        return notWritten(m_work->failureReason());
    emit labelChanged(MapStage::Counting, true, progressDone(MapStage::Counting));
    afterEvents(&MapRun::enableMapping);
}

void MapRun::enableMapping()
{
    emit labelChanged(MapStage::Mapping, true, progressCaption(MapStage::Mapping));
    afterEvents(&MapRun::map);
}

void MapRun::map()
{
    m_entriesInAll = std::uint64_t(m_work->job.folderCount()) + std::uint64_t(m_work->job.fileCount());
    runStage(MapStage::Mapping, &RunWork::map, &MapRun::mapped);
}

void MapRun::mapped()
{
    if (!m_work->mapped)
        return notWritten(m_work->failureReason());
    emit labelChanged(MapStage::Mapping, true, progressDone(MapStage::Mapping));
    afterEvents(&MapRun::enableWriting);
}

void MapRun::enableWriting()
{
    emit labelChanged(MapStage::Writing, true, progressCaption(MapStage::Writing));
    afterEvents(&MapRun::save);
}

void MapRun::save()
{
    runStage(MapStage::Writing, &RunWork::save, &MapRun::saved);
}

void MapRun::saved()
{
    const RunWork &work = *m_work;
    if (work.outputPath.empty()) {
        // An empty output field was already warned about at the start.
        emit labelChanged(MapStage::Writing, true, progressNotWritten());
        showOutcome(notWrittenStatus(work.request.format, {}, {}));
        return release();
    }
    if (!work.saved)
        return notWritten(QString::fromLocal8Bit(work.fileError));
    emit labelChanged(MapStage::Writing, true, progressDone(MapStage::Writing));
    const auto &folders = work.job.unreadableDirectories();
    const auto &entries = work.job.unreadableEntries();
    showOutcome(writtenStatus(work.request.format, work.absoluteOutput, work.bytesWritten)
                    + unreadableStatus(folders.size(), entries.size()),
                unreadableList(folders, entries, unreadableShown), work.absoluteOutput);
    afterEvents(&MapRun::openIfAsked);
}

// The opener is started off the GUI thread too: it looks for xdg-open along
// the PATH. It keeps the window's priority, which the desktop's program
// that opens the report inherits.
void MapRun::openIfAsked()
{
    if (!m_work->request.openReport)
        return release();
    m_stages.run([work = m_work] { work->open(); }, StagePriority::Same,
                 [this](bool ended) { (this->*(ended ? &MapRun::opened : &MapRun::release))(); });
}

void MapRun::opened()
{
    if (!m_work->opened)
        showOutcome(m_outcome + windowText("; it could not be opened: xdg-open could not be started"), m_details,
                    m_outcomePath);
    release();
}

void MapRun::notWritten(const QString &reason)
{
    emit labelChanged(MapStage::Writing, true, progressNotWritten());
    const MapRequest &request = m_work->request;
    const QString output = request.output.isEmpty() ? QString() : m_work->absoluteOutput;
    showOutcome(notWrittenStatus(request.format, output, reason), {}, output);
    emit warning(windowText("Output File Not Written"),
                 QString::fromLatin1("Warning - Output File Could Not Be Written") + u'\n' + request.output
                     + u'\n' + reason);
    release();
}

void MapRun::cancelled()
{
    emit labelChanged(MapStage::Writing, true, progressNotWritten());
    showOutcome(cancelledStatus());
    release();
}

// Lets go of the output file and the listing off the GUI thread: closing a
// file may wait on the disk.
void MapRun::release()
{
    m_statusTimer.stop();
    m_shownStage.reset();
    m_stages.run([work = std::move(m_work)]() mutable { work.reset(); }, StagePriority::Lower,
                 [this](bool) { finish(); });
}

void MapRun::finish()
{
    m_stages.end();
    emit finished();
}
