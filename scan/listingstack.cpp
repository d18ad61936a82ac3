#include "listingstack.h"

void ListingStack::push(int fd, const std::function<void(std::string_view)> &leadingFile)
{
    Level level;
    level.firstEntry = m_entries.size();
    level.firstNameByte = m_entries.nameBytes();
    level.readError = m_reader.readAll(fd, m_entries, leadingFile);
    level.nextEntry = level.firstEntry;
    level.endEntry = m_entries.size();
    for (std::size_t i = level.firstEntry; i < level.endEntry; ++i)
        level.pendingDirectories += m_entries[i].isDirectory;
    m_levels.push_back(level);
}
