#include "entrytable.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

EntryRecord &EntryTable::append(std::string_view name)
{
    if (m_nameBytes + name.size() + 1 > m_names.capacity())
        m_names.reserve(m_nameBytes + name.size() + 1);
    char *at = m_names.data() + m_nameBytes;
    std::memcpy(at, name.data(), name.size());
    at[name.size()] = '\0';

    // Entries with metadata are appended with theirs first.
    assert(m_metadata.empty() || m_metadata.size() == m_records.size() + 1);
    EntryRecord &entry = m_records.emplace_back();
    assert(m_nameBytes <= std::numeric_limits<std::uint32_t>::max());
    entry.nameOffset = std::uint32_t(m_nameBytes);
    assert(name.size() <= std::numeric_limits<std::uint16_t>::max());
    entry.nameLength = std::uint16_t(name.size());
    m_nameBytes += name.size() + 1;
    return entry;
}

void EntryTable::truncate(std::size_t records, std::size_t nameBytes)
{
    m_records.truncate(records);
    if (!m_metadata.empty())
        m_metadata.truncate(records);
    m_nameBytes = nameBytes;
}

void EntryTable::reorder(std::size_t first, const std::uint32_t *order, LargeBuffer &scratch)
{
    const std::size_t count = size() - first;
    if (count == 0)
        return;
    const std::size_t firstNameByte = m_records[first].nameOffset;
    const std::size_t recordBytes = count * sizeof(EntryRecord);
    const std::size_t nameBytes = m_nameBytes - firstNameByte;
    scratch.reserve(std::max(recordBytes, nameBytes));
    // The entries, then their names, are gathered from all over the table;
    // asking for each a few steps ahead lets the memory fetch several at once.
    constexpr std::size_t ahead = 8;

    auto *records = reinterpret_cast<EntryRecord *>(scratch.data());
    EntryRecord *const entries = &m_records[first];
    for (std::size_t i = 0; i < count; ++i) {
        if (i + ahead < count)
            __builtin_prefetch(entries + order[i + ahead]);
        records[i] = entries[order[i]];
    }
    std::memcpy(entries, records, recordBytes);

    char *const names = scratch.data();
    std::size_t nameByte = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + ahead < count)
            __builtin_prefetch(m_names.data() + entries[i + ahead].nameOffset);
        EntryRecord &entry = entries[i];
        std::memcpy(names + nameByte, m_names.data() + entry.nameOffset, entry.nameLength + 1);
        entry.nameOffset = std::uint32_t(firstNameByte + nameByte);
        nameByte += entry.nameLength + 1;
    }
    std::memcpy(m_names.data() + firstNameByte, names, nameBytes);

    if (m_metadata.empty())
        return;
    const std::size_t metadataBytes = count * sizeof(EntryMetadata);
    scratch.reserve(metadataBytes);
    auto *metadata = reinterpret_cast<EntryMetadata *>(scratch.data());
    EntryMetadata *const described = &m_metadata[first];
    for (std::size_t i = 0; i < count; ++i)
        metadata[i] = described[order[i]];
    std::memcpy(described, metadata, metadataBytes);
}
