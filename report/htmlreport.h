#pragma once

#include "mapformat.h"
#include "treemapper.h"

// The report: its opening, the two counts and the map's heading
// (reportdocument.h), then the tree as nested lists (TreeMapper), then its
// closing, all on one line.
class HtmlReport : public MapFormat
{
public:
    HtmlReport(const MapHeading &heading, std::string &output);

    void begin() override;
    void end() override;

    void file(std::string_view name) override { m_list.file(name); }
    void directoryBegin(std::string_view name) override { m_list.directoryBegin(name); }
    void directoryEnd() override { m_list.directoryEnd(); }
    void directoryUnreadable(int error) override { m_list.directoryUnreadable(error); }
    void directoryNotEntered(NotEnteredReason reason) override { m_list.directoryNotEntered(reason); }

private:
    const MapHeading m_heading;
    std::string &m_output;
    TreeMapper m_list;
};
