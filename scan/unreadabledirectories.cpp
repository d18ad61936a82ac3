#include "unreadabledirectories.h"

UnreadableDirectories::UnreadableDirectories(std::string rootPath)
    : m_path(std::move(rootPath))
{
}

void UnreadableDirectories::file(std::string_view)
{
}

void UnreadableDirectories::directoryBegin(std::string_view name)
{
    m_parentLengths.push_back(m_path.size());
    m_path.append(1, '/').append(name);
}

void UnreadableDirectories::directoryEnd()
{
    m_path.resize(m_parentLengths.back());
    m_parentLengths.pop_back();
}

void UnreadableDirectories::directoryUnreadable(int error)
{
    m_found.push_back({m_path, error});
}

void UnreadableDirectories::directoryNotEntered(NotEnteredReason)
{
}
