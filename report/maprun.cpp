#include "maprun.h"

#include "directorytest.h"
#include "mapjob.h"
#include "mapruncontrol.h"
#include "narrowtext.h"
#include "outputfile.h"
#include "reportopener.h"
#include "runstatus.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>

namespace {

// How often the status bar follows a stage: a few times a second.
constexpr int statusInterval = 250; // milliseconds

QString windowText(const char *text)
{
    return QCoreApplication::translate("Velmora", text);
}

void showWarning(QWidget *window, const char *title, const QString &text)
{
    QMessageBox::about(window, windowText(title), text);
}

void letEventsThrough()
{
    QCoreApplication::processEvents();
}

void showNotWritten(const MapRunWidgets &widgets)
{
    widgets.writingProgress->setEnabled(true);
    widgets.writingProgress->setText(QString::fromLatin1("<font color=red>HTML Not Written</font>"));
}

void showNotWritten(const MapRunWidgets &widgets, const QString &typedOutput, const QString &reason)
{
    widgets.statusBar->clearMessage();
    showNotWritten(widgets);
    showWarning(widgets.window, "Output File Not Written",
                QString::fromLatin1("Warning - Output File Could Not Be Written") + u'\n' + typedOutput + u'\n' + reason);
}

// The last line of the box that says why nothing was written.
QString failureReason(MapFailure failure, const std::string &systemText)
{
    return QString::fromStdString(windowMessage(failure, systemText));
}

// What the threads that do a run's stages work on. A stage that is left to
// end on its own keeps it alive; the GUI thread reads it only between
// stages, apart from the progress counters.
struct RunWork
{
    RunWork(std::shared_ptr<StopRequest> stopRequest, MapRunControl::Observer stageObserver, std::string root)
        : stop(std::move(stopRequest))
        , observer(std::move(stageObserver))
        , rootPath(std::move(root))
        , job(rootPath, std::cout)
    {
        job.setCancel(&stop->flag());
    }

    // On the working thread.
    void tell(MapStage now, std::uint64_t entries)
    {
        stage = now;
        entriesSeen = entries;
        if (observer)
            observer(stage, entries);
    }

    const std::shared_ptr<StopRequest> stop;
    const MapRunControl::Observer observer;
    const std::string rootPath;
    std::string outputPath;
    bool directoriesOnly = true;
    MapJob job;
    std::unique_ptr<OutputFile> file;
    MapStage stage = MapStage::CheckingRoot;
    const WalkProgress progress{[this](std::uint64_t entries) { tell(stage, entries); }, 4096};
    std::atomic<std::uint64_t> entriesSeen{0};
    std::atomic<std::uint64_t> bytesWritten{0};

    int rootError = 0;
    bool counted = false;
    bool mapped = false;
    bool saved = false;
    bool outOfMemory = false;
    std::string fileError;
};

class MapRun
{
public:
    MapRun(const MapRunWidgets &widgets, MapRunControl &control)
        : m_widgets(widgets)
        , m_control(control)
        , m_stop(control.begin())
    {
        m_statusTimer.setInterval(statusInterval);
        QObject::connect(&m_statusTimer, &QTimer::timeout, [this] { showProgress(); });
    }
    ~MapRun() { m_control.end(); }
    MapRun(const MapRun &) = delete;
    MapRun &operator=(const MapRun &) = delete;

    void perform();
    // Lets go of the output file and the listing off the GUI thread:
    // closing a file may wait on the disk.
    void release()
    {
        if (m_work)
            m_control.runOffThread([work = std::move(m_work)]() mutable { work.reset(); });
    }

private:
    bool offThread(MapStage stage, void (*step)(RunWork &work));
    void showProgress();
    void showCancelled();

    const MapRunWidgets &m_widgets;
    MapRunControl &m_control;
    const std::shared_ptr<StopRequest> m_stop;
    std::shared_ptr<RunWork> m_work;
    MapStage m_stage = MapStage::CheckingRoot;
    QTimer m_statusTimer;
    std::uint64_t m_entriesInAll = 0;
};

// Does one stage on a thread of its own. Gives false when the run was asked
// to stop, before or while the stage was done.
bool MapRun::offThread(MapStage stage, void (*step)(RunWork &work))
{
    if (m_stop->isRequested())
        return false;
    m_stage = stage;
    m_statusTimer.start();
    const bool ended = m_control.runOffThread([work = m_work, step] {
        try {
            step(*work);
        } catch (const std::bad_alloc &) {
            work->outOfMemory = true;
        }
    });
    m_statusTimer.stop();
    return ended && !m_stop->isRequested();
}

void MapRun::showProgress()
{
    switch (m_stage) {
    case MapStage::CheckingRoot:
        break;
    case MapStage::Listing:
        m_widgets.statusBar->showMessage(listingStatus(m_work->entriesSeen));
        break;
    case MapStage::Mapping:
        m_widgets.statusBar->showMessage(writingStatus(m_work->entriesSeen, m_entriesInAll, m_work->bytesWritten));
        break;
    case MapStage::Saving:
        m_widgets.statusBar->showMessage(savingStatus(m_work->bytesWritten));
        break;
    }
}

void MapRun::showCancelled()
{
    showNotWritten(m_widgets);
    m_widgets.statusBar->showMessage(cancelledStatus());
}

void MapRun::perform()
{
    // What the status bar said of an earlier run is no longer true.
    m_widgets.statusBar->clearMessage();
    resetProgress(m_widgets);
    letEventsThrough();

    m_widgets.countingProgress->setEnabled(true);
    letEventsThrough();

    const QString typedOutput = m_widgets.outputFile->text();
    m_work = std::make_shared<RunWork>(m_stop, m_control.observer(), toNarrowText(m_widgets.rootDirectory->text()));
    m_work->outputPath = toNarrowText(typedOutput);

    if (!offThread(MapStage::CheckingRoot, [](RunWork &work) {
            work.tell(MapStage::CheckingRoot, 0);
            work.rootError = rootDirectoryError(work.rootPath);
        }))
        return showCancelled();
    if (const int error = m_work->rootError) {
        showWarning(m_widgets.window, "File Does Not Exist",
                    QString::fromLatin1("Warning - Root Directory Folder Does Not Exist") + u'\n'
                        + QString::fromLocal8Bit(std::strerror(error)));
        return;
    }
    if (m_work->outputPath.empty())
        showWarning(m_widgets.window, "Output File Not Specified", QString::fromLatin1("Warning - Output File Path Not Specified"));

    if (!offThread(MapStage::Listing, [](RunWork &work) {
            work.tell(MapStage::Listing, 0);
            work.counted = work.job.count(&work.progress);
        }))
        return showCancelled();
    if (!m_work->counted)
        return showNotWritten(m_widgets, typedOutput, failureReason(m_work->job.failure(), m_work->job.failureText()));
    m_widgets.countingProgress->setText(QString::fromLatin1("<font color=green>Number Files and Folders Calculated</font>"));
    letEventsThrough();

    m_widgets.mappingProgress->setEnabled(true);
    letEventsThrough();

    // The report goes to its file as it is made; the file is opened only
    // now, after the listing, so that a report inside the root is not listed.
    // The tree is mapped whole even when the file fails: the labels tell
    // what was done, and the failure is shown once writing ends.
    m_work->directoriesOnly = m_widgets.directoriesOnly->isChecked();
    m_entriesInAll = std::uint64_t(m_work->job.folderCount()) + std::uint64_t(m_work->job.fileCount());
    if (!offThread(MapStage::Mapping, [](RunWork &work) {
            work.file = std::make_unique<OutputFile>(work.outputPath, &work.stop->flag());
            work.tell(MapStage::Mapping, 0);
            work.mapped = work.job.map(work.directoriesOnly, [&work](std::string_view piece) {
                if (work.stop->isRequested())
                    return false;
                if (work.file->write(piece))
                    work.bytesWritten += piece.size();
                return true;
            }, &work.progress);
        }))
        return showCancelled();
    if (!m_work->mapped)
        return showNotWritten(m_widgets, typedOutput,
                              failureReason(m_work->outOfMemory ? MapFailure::OutOfMemory : m_work->job.failure(),
                                            m_work->job.failureText()));
    m_widgets.mappingProgress->setText(QString::fromLatin1("<font color=green>Directory Information Mapped</font>"));
    letEventsThrough();

    m_widgets.writingProgress->setEnabled(true);
    letEventsThrough();

    // Once the report is being put in place, it is too late to stop: what
    // the window then says of it stays true.
    if (!offThread(MapStage::Saving, [](RunWork &work) {
            if (!work.stop->beginSaving())
                return;
            work.tell(MapStage::Saving, 0);
            work.saved = work.file->commit();
            work.fileError = work.file->errorString();
        }))
        return showCancelled();
    const bool written = m_work->saved;
    if (written) {
        m_widgets.writingProgress->setText(QString::fromLatin1("<font color=green>HTML Written</font>"));
        m_widgets.statusBar->showMessage(writtenStatus(QFileInfo(typedOutput).absoluteFilePath(), m_work->bytesWritten));
    } else if (m_work->outputPath.empty()) {
        // An empty output field was already warned about at the start.
        m_widgets.statusBar->clearMessage();
        showNotWritten(m_widgets);
    } else {
        showNotWritten(m_widgets, typedOutput, QString::fromLocal8Bit(m_work->fileError));
    }
    letEventsThrough();

    if (written && m_widgets.openReport->isChecked() && !openReport(m_work->outputPath))
        m_widgets.statusBar->showMessage(m_widgets.statusBar->currentMessage()
                                         + windowText("; it could not be opened: xdg-open could not be started"));
}

} // namespace

void resetProgress(const MapRunWidgets &widgets)
{
    widgets.countingProgress->setEnabled(false);
    widgets.mappingProgress->setEnabled(false);
    widgets.writingProgress->setEnabled(false);
    widgets.countingProgress->setText(QString::fromLatin1("Calculating # Files and Folders"));
    widgets.mappingProgress->setText(QString::fromLatin1("Mapping Files and Folders"));
    widgets.writingProgress->setText(QString::fromLatin1("Writing HTML File"));
}

void runMap(const MapRunWidgets &widgets, MapRunControl &control)
{
    MapRun run(widgets, control);
    run.perform();
    run.release();
}
