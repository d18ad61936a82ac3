#pragma once

#include "mapjob.h"
#include "mapstage.h"
#include "progresspace.h"
#include "reportformat.h"
#include "stoprequest.h"
#include "walkrules.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class OutputFile;

// Told on the thread of a stage as its work on the tree begins (with 0) and
// as it goes on; the root is checked before counting is told.
using StageObserver = std::function<void(MapStage stage, std::uint64_t entriesSeen)>;

// What a map run is asked to do: the window's form and its Report menu as
// they stood when Map was pressed. Both stay greyed until the run is over.
struct MapRequest
{
    QString root;
    QString output;
    bool directoriesOnly = true;
    bool openReport = false;
    ReportFormat format = ReportFormat::Html;
    // Each entry's size and time, for a format that shows them.
    bool readSizes = false;
};

// What the threads of a run's stages work on, one stage at a time. A stage
// that is left to end on its own keeps it alive; the GUI thread reads it only
// between stages, apart from the progress counters.
struct RunWork
{
    RunWork(const MapRequest &request, std::shared_ptr<StopRequest> stopRequest, StageObserver stageObserver);
    ~RunWork();
    RunWork(const RunWork &) = delete;
    RunWork &operator=(const RunWork &) = delete;

    // Does `step` on the thread of its stage. What it throws ends the run,
    // taken as the failure it stands for: a stage's thread must not end in
    // an exception.
    void perform(void (RunWork::*step)());
    bool threw() const { return m_thrown != MapFailure::None; }
    // Why the job failed, or the stage that threw, as the window tells it.
    QString failureReason() const;

    // The steps, each on the thread of its stage.
    void checkRoot();
    void list();
    void map();
    void save();
    void open();

    const MapRequest request;
    const std::shared_ptr<StopRequest> stop;
    const StageObserver observer;
    const std::string rootPath;
    const std::string outputPath;
    const WalkRules rules;
    MapJob job;
    std::unique_ptr<OutputFile> file;
    std::atomic<std::uint64_t> entriesSeen{0};
    std::atomic<std::uint64_t> bytesWritten{0};

    // What the stages found, read between them.
    QString absoluteRoot;
    QString absoluteOutput;
    int rootError = 0;
    bool counted = false;
    bool mapped = false;
    bool saved = false;
    bool opened = false;
    std::string fileError;

private:
    void tell(MapStage now, std::uint64_t entries);

    MapStage m_stage = MapStage::Counting;
    MapFailure m_thrown = MapFailure::None;
    std::string m_thrownText;
    const WalkProgress m_progress{[this](std::uint64_t entries) { tell(m_stage, entries); }, progressEntryStep};
};
