#include "jsonmapper.h"

#include "jsontext.h"
#include "reasontext.h"
#include "sizefields.h"

#include <cassert>

JsonMapper::JsonMapper(const MapHeading &heading, std::string &output)
    : TalliedFormat(heading)
    , m_heading(heading)
    , m_listFiles(heading.listed == ListedEntries::FilesAndDirectories)
    , m_output(output)
{
}

void JsonMapper::begin()
{
    m_output.append("{\"format_version\":1,\"folders\":").append(std::to_string(m_heading.folderCount));
    m_output.append(",\"files\":").append(std::to_string(m_heading.fileCount));
    m_output.append(",\"files_listed\":").append(m_listFiles ? "true" : "false");
    m_output.append(",\"sizes\":").append(hasSizes() ? "true" : "false");
    m_output.append(",\"tree\":");
    beginDirectory(m_heading.rootPath);
}

void JsonMapper::end()
{
    assert(replayedWhole());
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
    m_output.append(",\"type\":\"file\"");
    if (const EntryMetadata *metadata = nextMetadata())
        appendEntrySizes(m_output, *metadata);
    m_output.push_back('}');
}

void JsonMapper::directoryBegin(std::string_view name)
{
    enterContents();
    separate();
    beginDirectory(name);
}

void JsonMapper::beginDirectory(std::string_view name)
{
    // Its reasons are written as the walk tells them, after what was read.
    const Directory directory = nextDirectory();
    beginEntry(name);
    m_output.append(",\"type\":\"directory\"");
    if (directory.metadata) {
        appendEntrySizes(m_output, *directory.metadata);
        appendSubtreeSizes(m_output, *directory.sizes);
    }
    m_output.append(",\"folders\":").append(std::to_string(directory.counts.folders));
    m_output.append(",\"files\":").append(std::to_string(directory.counts.files));
    m_directory = DirectoryState::Begun;
}

void JsonMapper::directoryEnd()
{
    switch (m_directory) {
    case DirectoryState::Begun:
        m_output.append(",\"contents\":[]}");
        break;
    case DirectoryState::Listing:
        m_output.append("]}");
        break;
    case DirectoryState::Closed:
        m_output.push_back('}');
        break;
    }
    m_directory = DirectoryState::Listing;
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
    assert(m_directory != DirectoryState::Closed);
    if (m_directory != DirectoryState::Begun)
        return;
    m_output.append(",\"contents\":[");
    m_directory = DirectoryState::Listing;
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
    if (m_directory == DirectoryState::Closed)
        return; // the first reason stands
    if (m_directory == DirectoryState::Listing)
        m_output.push_back(']');
    m_output.append(",\"reason\":");
    appendJsonString(m_output, reason);
    m_directory = DirectoryState::Closed;
}
