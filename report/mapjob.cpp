#include "mapjob.h"

#include "countingwalk.h"
#include "mappingwalk.h"
#include "reportdocument.h"

MapJob::MapJob(std::string rootPath, std::ostream &errors)
    : m_rootPath(std::move(rootPath))
    , m_errors(errors)
    , m_report(reportOpening())
{
}

void MapJob::count(const WalkProgress *progress)
{
    TreeCounter counter(m_errors);
    walkTree(m_rootPath, counter, progress);
    m_fileCount = counter.fileCount();
    m_folderCount = counter.folderCount();
    appendCounts(m_report, m_folderCount, m_fileCount);
}

void MapJob::map(bool directoriesOnly)
{
    const int listFiles = appendMapHeading(m_report, directoriesOnly);
    mapDirectory(m_rootPath, listFiles, m_report);
}

std::string MapJob::finish()
{
    appendReportClosing(m_report);
    return std::move(m_report);
}
