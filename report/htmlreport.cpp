#include "htmlreport.h"

#include "reportdocument.h"

HtmlReport::HtmlReport(const MapHeading &heading, std::string &output)
    : m_heading(heading)
    , m_output(output)
    , m_list(heading.listed, output)
{
}

void HtmlReport::begin()
{
    m_output.append(reportOpening());
    appendCounts(m_output, m_heading.folderCount, m_heading.fileCount);
    appendMapHeading(m_output, m_heading.listed);
    m_output.append("<ul>");
}

void HtmlReport::end()
{
    m_output.append("</ul>");
    appendReportClosing(m_output);
}
