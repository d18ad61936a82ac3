#include "jsonmapper.h"

#include "jsontext.h"
#include "reasontext.h"

#include <cassert>

JsonMapper::JsonMapper(const MapHeading &heading, std::string &output)
    : m_heading(heading)
    , m_listFiles(heading.listed == ListedEntries::FilesAndDirectories)
    , m_output(output)
{
}

void JsonMapper::begin()
{
    m_output.append("{\"format_version\":1,\"folders\":").append(std::to_string(m_heading.folderCount));
    m_output.append(",\"files\":").append(std::to_string(m_heading.fileCount));
    m_output.append(",\"files_listed\":").append(m_listFiles ? "true" : "false");
    m_output.append(",\"tree\":");
    beginEntry(m_heading.rootPath);
    m_output.append(",\"type\":\"directory\"");
    m_directory = Directory::Begun;
}

void JsonMapper::end()
{
    directoryEnd();
    m_output.append("}\n");
}

void JsonMapper::file(std::string_view name)
{
    // Even an entry that is not listed shows that the directory was entered.
    enterContents();
    if (!m_listFiles)
        return;
    separate();
    beginEntry(name);
    m_output.append(",\"type\":\"file\"}");
}

void JsonMapper::directoryBegin(std::string_view name)
{
    enterContents();
    separate();
    beginEntry(name);
    m_output.append(",\"type\":\"directory\"");
    m_directory = Directory::Begun;
}

void JsonMapper::directoryEnd()
{
    switch (m_directory) {
    case Directory::Begun:
        m_output.append(",\"contents\":[]}");
        break;
    case Directory::Listing:
        m_output.append("]}");
        break;
    case Directory::Closed:
        m_output.push_back('}');
        break;
    }
    m_directory = Directory::Listing;
    m_firstEntry = false;
}

void JsonMapper::directoryUnreadable(int error)
{
    addReason(unreadableText(error));
}

void JsonMapper::directoryNotEntered(NotEnteredReason reason)
{
    addReason(notEnteredText(reason));
}

void JsonMapper::enterContents()
{
    // A directory with its reason written has no more entries.
    assert(m_directory != Directory::Closed);
    if (m_directory != Directory::Begun)
        return;
    m_output.append(",\"contents\":[");
    m_directory = Directory::Listing;
    m_firstEntry = true;
}

void JsonMapper::separate()
{
    if (!m_firstEntry)
        m_output.push_back(',');
    m_firstEntry = false;
}

void JsonMapper::beginEntry(std::string_view name)
{
    m_output.append("{\"name\":");
    if (!appendJsonString(m_output, name)) {
        m_output.append(",\"name_bytes\":");
        appendJsonByteArray(m_output, name);
    }
}

void JsonMapper::addReason(const std::string &reason)
{
    if (m_directory == Directory::Closed)
        return; // the first reason stands
    if (m_directory == Directory::Listing)
        m_output.push_back(']');
    m_output.append(",\"reason\":");
    appendJsonString(m_output, reason);
    m_directory = Directory::Closed;
}
