#include "mapjob.h"

#include "countingwalk.h"
#include "mappingwalk.h"
#include "reportdocument.h"
#include "treescan.h"

#include <new>
#include <system_error>

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

bool MapJob::map(bool directoriesOnly, const WalkProgress *progress)
{
    try {
        const int listFiles = appendMapHeading(m_report, directoriesOnly);
        // Room for the names and the tags around them, so that the list is
        // appended without moving what is already there.
        const std::uint64_t fileTags = listFiles == 1 ? 9 * std::uint64_t(m_fileCount) : 0;
        const std::uint64_t folderTags = 25 * std::uint64_t(m_folderCount);
        m_report.reserve(m_report.size() + m_tree.nameBytes() + fileTags + folderTags + 16);

        TreeMapper mapper(listFiles, m_report);
        m_report.append("<ul>");
        if (!m_tree.replayAndRelease(mapper, progress, [this] { return !cancelled(); }))
            return fail(MapFailure::Cancelled);
        m_report.append("</ul>");
    } catch (const std::bad_alloc &) {
        return fail(MapFailure::OutOfMemory);
    }
    return true;
}

std::string MapJob::finish()
{
    appendReportClosing(m_report);
    return std::move(m_report);
}

bool MapJob::fail(MapFailure failure)
{
    m_failure = failure;
    m_tree.clear();
    std::string().swap(m_report);
    return false;
}
