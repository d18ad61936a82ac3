#include "mapjob.h"

#include "countingwalk.h"
#include "mappingwalk.h"
#include "reportdocument.h"
#include "treescan.h"

MapJob::MapJob(std::string rootPath, std::ostream &errors)
    : m_rootPath(std::move(rootPath))
    , m_errors(errors)
    , m_report(reportOpening())
{
}

void MapJob::count(const WalkProgress *progress)
{
    m_tree = scanTree(m_rootPath, progress);
    TreeCounter counter(m_errors);
    m_tree.replay(counter);
    m_fileCount = counter.fileCount();
    m_folderCount = counter.folderCount();
    appendCounts(m_report, m_folderCount, m_fileCount);
}

void MapJob::map(bool directoriesOnly, const WalkProgress *progress)
{
    const int listFiles = appendMapHeading(m_report, directoriesOnly);
    // Room for the names and the tags around them, so that the list is
    // appended without moving what is already there.
    const std::uint64_t fileTags = listFiles == 1 ? 9 * std::uint64_t(std::uint32_t(m_fileCount)) : 0;
    const std::uint64_t folderTags = 25 * std::uint64_t(std::uint32_t(m_folderCount));
    m_report.reserve(m_report.size() + m_tree.nameBytes() + fileTags + folderTags + 16);

    TreeMapper mapper(listFiles, m_report);
    m_report.append("<ul>");
    m_tree.replay(mapper, progress);
    m_report.append("</ul>");
    m_tree.clear();
}

std::string MapJob::finish()
{
    appendReportClosing(m_report);
    return std::move(m_report);
}
