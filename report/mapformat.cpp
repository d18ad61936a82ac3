#include "mapformat.h"

#include "browsemapper.h"
#include "htmlreport.h"
#include "jsonlinesmapper.h"
#include "jsonmapper.h"
#include "ncdumapper.h"

std::unique_ptr<MapFormat> makeMapFormat(ReportFormat format, const MapHeading &heading, std::string &output)
{
    switch (format) {
    case ReportFormat::Json:
        return std::make_unique<JsonMapper>(heading, output);
    case ReportFormat::JsonLines:
        return std::make_unique<JsonLinesMapper>(heading, output);
    case ReportFormat::Ncdu:
        return std::make_unique<NcduMapper>(heading, output);
    case ReportFormat::Browse:
        return std::make_unique<BrowseMapper>(heading, output);
    case ReportFormat::Html:
        break;
    }
    return std::make_unique<HtmlReport>(heading, output);
}

bool showsDirectoryCounts(ReportFormat format)
{
    return format != ReportFormat::Html;
}
