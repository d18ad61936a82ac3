#include "jsonlinesmapper.h"

#include "jsontext.h"
#include "sizefields.h"

#include <cassert>

JsonLinesMapper::JsonLinesMapper(const MapHeading &heading, std::string &output)
    : TalliedFormat(heading)
    , m_heading(heading)
    , m_listFiles(heading.listed == ListedEntries::FilesAndDirectories)
    , m_output(output)
{
}

void JsonLinesMapper::begin()
{
    m_output.append("{\"format_version\":1,");
    beginLine("root", m_heading.rootPath);
    appendCountsAndReason();
    m_output.append(",\"files_listed\":").append(m_listFiles ? "true" : "false");
    m_output.append(",\"sizes\":").append(hasSizes() ? "true" : "false").append("}\n");
}

void JsonLinesMapper::end()
{
    assert(replayedWhole());
}

void JsonLinesMapper::file(std::string_view name)
{
    if (!m_listFiles)
        return;
    m_output.push_back('{');
    appendPath(name);
    m_output.append(",\"type\":\"file\"");
    if (const EntryMetadata *metadata = nextMetadata())
        appendEntrySizes(m_output, *metadata);
    m_output.append("}\n");
}

void JsonLinesMapper::directoryBegin(std::string_view name)
{
    m_output.push_back('{');
    appendPath(name);
    m_output.append(",\"type\":\"directory\"");
    appendCountsAndReason();
    m_output.append("}\n");
    m_parents.push_back({m_directoryLength, m_writtenDirectory.size(), m_nameIsText});
    m_directoryLength = m_path.size();
    m_notText += !m_nameIsText;
    if (m_notText == 0)
        m_writtenDirectory.append(m_name, 1, m_name.size() - 2).push_back('/');
}

void JsonLinesMapper::directoryEnd()
{
    assert(!m_parents.empty());
    const Parent &parent = m_parents.back();
    m_directoryLength = parent.directoryLength;
    m_writtenDirectory.resize(parent.writtenLength);
    m_notText -= !parent.nameIsText;
    m_parents.pop_back();
}

void JsonLinesMapper::appendPath(std::string_view name)
{
    enter(name);
    m_name.clear();
    m_nameIsText = appendJsonString(m_name, name);
    if (m_notText > 0 || !m_nameIsText) {
        beginLine("path", m_path);
        return;
    }
    m_output.append("\"path\":\"").append(m_writtenDirectory).append(m_name, 1);
}

std::string_view JsonLinesMapper::enter(std::string_view name)
{
    m_path.resize(m_directoryLength);
    if (m_directoryLength > 0)
        m_path.push_back('/');
    m_path.append(name);
    return m_path;
}

void JsonLinesMapper::beginLine(std::string_view key, std::string_view path)
{
    m_output.push_back('"');
    m_output.append(key).append("\":");
    if (!appendJsonString(m_output, path)) {
        m_output.append(",\"").append(key).append("_bytes\":");
        appendJsonByteArray(m_output, path);
    }
}

void JsonLinesMapper::appendCountsAndReason()
{
    const Directory directory = nextDirectory();
    if (directory.metadata) {
        appendEntrySizes(m_output, *directory.metadata);
        appendSubtreeSizes(m_output, *directory.sizes);
    }
    m_output.append(",\"folders\":").append(std::to_string(directory.counts.folders));
    m_output.append(",\"files\":").append(std::to_string(directory.counts.files));
    if (directory.reason) {
        m_output.append(",\"reason\":");
        appendJsonString(m_output, reasonText(*directory.reason));
    }
}
