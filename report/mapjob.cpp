#include "mapjob.h"

#include "countingwalk.h"
#include "mappingwalk.h"
#include "reportdocument.h"
#include "treescan.h"

#include <new>
#include <system_error>

namespace {

// Large enough that each write costs little, small enough to stay in cache.
constexpr std::size_t pieceBytes = 1 << 20;

} // namespace

MapJob::MapJob(std::string rootPath, std::ostream &errors, std::uint64_t countLimit)
    : m_rootPath(std::move(rootPath))
    , m_errors(errors)
    , m_countLimit(countLimit)
    , m_report(reportOpening())
{
}

bool MapJob::count(const WalkProgress *progress)
{
    try {
        m_tree = scanTree(m_rootPath, progress, 0, m_cancel);
        if (cancelled())
            return fail(MapFailure::Cancelled);
        TreeCounter counter(m_errors, m_countLimit);
        m_tree.replay(counter);
        if (counter.overflowed())
            return fail(MapFailure::TooManyEntries);
        if (counter.unreadableCount() > 0) {
            UnreadableDirectories unreadable(m_rootPath);
            m_tree.replay(unreadable);
            m_unreadable = unreadable.found();
        }
        m_fileCount = counter.fileCount();
        m_folderCount = counter.folderCount();
        appendCounts(m_report, m_folderCount, m_fileCount);
    } catch (const std::bad_alloc &) {
        return fail(MapFailure::OutOfMemory);
    } catch (const std::system_error &) {
        return fail(MapFailure::OutOfDescriptors);
    }
    return true;
}

bool MapJob::map(bool directoriesOnly, const ReportWriter &write, const WalkProgress *progress)
{
    try {
        const int listFiles = appendMapHeading(m_report, directoriesOnly);
        m_report.reserve(2 * pieceBytes);
        TreeMapper mapper(listFiles, m_report);
        m_report.append("<ul>");
        const auto handOn = [&] {
            if (m_report.size() < pieceBytes)
                return true;
            const bool taken = write(m_report);
            m_report.clear();
            return taken;
        };
        if (!m_tree.replayAndRelease(mapper, progress, [&] { return !cancelled() && handOn(); }))
            return fail(cancelled() ? MapFailure::Cancelled : MapFailure::NotWritten);
        m_report.append("</ul>");
        appendReportClosing(m_report);
        if (!write(m_report))
            return fail(MapFailure::NotWritten);
        m_report.clear();
    } catch (const std::bad_alloc &) {
        return fail(MapFailure::OutOfMemory);
    }
    return true;
}

bool MapJob::fail(MapFailure failure)
{
    m_failure = failure;
    m_tree.clear();
    std::string().swap(m_report);
    return false;
}
