#include "entrytable.h"

EntryRecord &EntryTable::append(std::string_view name)
{
    EntryRecord &entry = m_records.emplace_back();
    entry.nameOffset = std::uint32_t(m_names.size());
    entry.nameLength = std::uint32_t(name.size());
    m_names.append(name);
    m_names.push_back('\0');
    return entry;
}

void EntryTable::truncate(std::size_t records, std::size_t nameBytes)
{
    m_records.resize(records);
    m_names.resize(nameBytes);
}
