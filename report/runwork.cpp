#include "runwork.h"

#include "directorytest.h"
#include "narrowtext.h"
#include "outputfile.h"
#include "reportopener.h"

#include <QFileInfo>

#include <iostream>
#include <new>
#include <system_error>

namespace {

WalkRules rulesFor(const MapRequest &request)
{
    WalkRules rules;
    rules.readMetadata = request.readSizes;
    return rules;
}

} // namespace

RunWork::RunWork(const MapRequest &mapRequest, std::shared_ptr<StopRequest> stopRequest, StageObserver stageObserver)
    : request(mapRequest)
    , stop(std::move(stopRequest))
    , observer(std::move(stageObserver))
    , rootPath(toNarrowText(request.root))
    , outputPath(toNarrowText(request.output))
    , rules(rulesFor(request))
    , job(rootPath, std::cout)
{
    job.setCancel(&stop->flag());
    // Without sizes, the walk is the one the plain report has always had.
    if (request.readSizes)
        job.setRules(&rules);
    job.prepareFor(request.format);
}

RunWork::~RunWork() = default;

void RunWork::tell(MapStage now, std::uint64_t entries)
{
    m_stage = now;
    entriesSeen = entries;
    if (observer)
        observer(now, entries);
}

void RunWork::perform(void (RunWork::*step)())
{
    try {
        (this->*step)();
    } catch (const std::bad_alloc &) {
        m_thrown = MapFailure::OutOfMemory;
    } catch (const std::system_error &error) {
        m_thrown = failureFor(error.code());
        m_thrownText = error.code().message();
    }
}

QString RunWork::failureReason() const
{
    return QString::fromLocal8Bit(threw() ? windowMessage(m_thrown, m_thrownText)
                                          : windowMessage(job.failure(), job.failureText()));
}

void RunWork::checkRoot()
{
    // Made absolute here: even the working directory is not asked for on
    // the GUI thread.
    absoluteRoot = QFileInfo(request.root).absoluteFilePath();
    absoluteOutput = QFileInfo(request.output).absoluteFilePath();
    rootError = rootDirectoryError(rootPath);
}

void RunWork::list()
{
    tell(MapStage::Counting, 0);
    counted = job.count(&m_progress);
}

// The report goes to its file as it is made; the file is opened only now,
// after the listing, so that a report inside the root is not listed. The tree
// is mapped whole even when the file fails: the labels tell what was done,
// and the failure is shown once writing ends.
void RunWork::map()
{
    file = std::make_unique<OutputFile>(outputPath, &stop->flag());
    tell(MapStage::Mapping, 0);
    const ListedEntries listed = request.directoriesOnly ? ListedEntries::DirectoriesOnly : ListedEntries::FilesAndDirectories;
    mapped = job.map(request.format, listed, [this](std::string_view piece) {
        if (stop->isRequested())
            return false;
        if (file->write(piece))
            bytesWritten += piece.size();
        return true;
    }, &m_progress);
}

// Once the report is being put in place, it is too late to stop: what the
// window then says of it stays true.
void RunWork::save()
{
    if (!stop->beginSaving())
        return;
    tell(MapStage::Writing, 0);
    saved = file->commit();
    fileError = file->errorString();
}

void RunWork::open()
{
    opened = openReport(outputPath);
}
