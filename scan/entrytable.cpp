#include "entrytable.h"

EntryRecord &EntryTable::append(std::string_view name)
{
    if (m_nameBytes + name.size() + 1 > m_names.capacity())
        m_names.reserve(m_nameBytes + name.size() + 1);
    char *at = m_names.data() + m_nameBytes;
    std::memcpy(at, name.data(), name.size());
    at[name.size()] = '\0';

    EntryRecord &entry = m_records.emplace_back();
    entry.nameOffset = std::uint32_t(m_nameBytes);
    entry.nameLength = std::uint32_t(name.size());
    m_nameBytes += name.size() + 1;
    return entry;
}

void EntryTable::truncate(std::size_t records, std::size_t nameBytes)
{
    m_records.truncate(records);
    m_nameBytes = nameBytes;
}
