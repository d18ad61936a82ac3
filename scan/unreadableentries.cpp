#include "unreadableentries.h"

UnreadableEntries::UnreadableEntries(std::string rootPath)
    : m_path(std::move(rootPath))
{
}

void UnreadableEntries::rootMetadata(const EntryMetadata &metadata)
{
    if (!metadata.readable())
        m_found.push_back({m_path, metadata.error});
}

void UnreadableEntries::noteNext(std::string_view name)
{
    if (m_nextError != 0) {
        std::string path = m_path;
        path.append(1, '/').append(name);
        m_found.push_back({std::move(path), m_nextError});
    }
    m_nextError = 0;
}

void UnreadableEntries::file(std::string_view name)
{
    noteNext(name);
}

void UnreadableEntries::directoryBegin(std::string_view name)
{
    noteNext(name);
    m_parentLengths.push_back(m_path.size());
    m_path.append(1, '/').append(name);
}

void UnreadableEntries::directoryEnd()
{
    m_path.resize(m_parentLengths.back());
    m_parentLengths.pop_back();
}
