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

void MapJob::map(bool directoriesOnly, const WalkProgress *progress)
{
    TreeMapper mapper(appendMapHeading(m_report, directoriesOnly), m_report);
    m_report.append("<ul>");
    walkTree(m_rootPath, mapper, progress);
    m_report.append("</ul>");
}

std::string MapJob::finish()
{
    appendReportClosing(m_report);
    return std::move(m_report);
}
