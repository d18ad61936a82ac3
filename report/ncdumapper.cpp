#include "ncdumapper.h"

#include "absolutepath.h"
#include "version.h"

#include <cassert>
#include <cstdio>

namespace {

// A JSON string of the name's exact bytes: the format reads names as bytes,
// valid UTF-8 or not.
void appendName(std::string &out, std::string_view name)
{
    out.append("{\"name\":\"");
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20 || byte == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out.append(escape);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

const char *excludedText(NotEnteredReason reason)
{
    switch (reason) {
    case NotEnteredReason::OtherFileSystem:
        return "otherfs";
    case NotEnteredReason::PseudoFileSystem:
        return "kernfs";
    case NotEnteredReason::Loop:
        break;
    }
    return "frmlnk";
}

} // namespace

NcduMapper::NcduMapper(const MapHeading &heading, std::string &output)
    : TalliedFormat(heading)
    , m_heading(heading)
    , m_output(output)
{
}

void NcduMapper::begin()
{
    m_output.append("[1,2,{\"progname\":\"velmora-map\",\"progver\":\"").append(versionText);
    m_output.append("\",\"timestamp\":").append(std::to_string(m_heading.madeAt)).append("},\n[");
    std::string root = absolutePath(m_heading.rootPath);
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    writeDirectory(root);
}

void NcduMapper::end()
{
    assert(replayedWhole());
    m_output.append("]]\n");
}

void NcduMapper::file(std::string_view name)
{
    m_output.append(",\n");
    appendName(m_output, name);
    m_output.push_back('}');
}

void NcduMapper::directoryBegin(std::string_view name)
{
    m_output.append(",\n[");
    writeDirectory(name);
}

void NcduMapper::directoryEnd()
{
    m_output.push_back(']');
}

void NcduMapper::writeDirectory(std::string_view name)
{
    appendName(m_output, name);
    if (const DirectoryTally::Reason *reason = nextDirectory().reason) {
        if (reason->notEntered)
            m_output.append(",\"excluded\":\"").append(excludedText(reason->why)).push_back('"');
        else
            m_output.append(",\"read_error\":true");
    }
    m_output.push_back('}');
}
