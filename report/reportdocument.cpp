#include "reportdocument.h"

#include "decimaltext.h"

std::string reportOpening()
{
    return "<HTML>";
}

void appendCounts(std::string &report, int folderCount, int fileCount)
{
    report.append("<h1>Directory Information</h1>");
    report.append("<b>Number of Folders: </b>").append(toDecimalText(folderCount)).append("<br>");
    report.append("<b>Number of Files: </b>").append(toDecimalText(fileCount)).append("<br>");
}

void appendMapHeading(std::string &report, ListedEntries listed)
{
    report.append(listed == ListedEntries::DirectoriesOnly ? "<h1>Directory Map</h1>" : "<h1>Directory and File Map</h1>");
}

int appendMapHeading(std::string &report, bool directoriesOnly)
{
    appendMapHeading(report, directoriesOnly ? ListedEntries::DirectoriesOnly : ListedEntries::FilesAndDirectories);
    return directoriesOnly ? 0 : 1;
}

void appendReportClosing(std::string &report)
{
    report.append("</HTML>");
}
