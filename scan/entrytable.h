#pragma once

#include "directoryidentity.h"
#include "entrymetadata.h"
#include "largebuffer.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Twenty-four bytes: a large directory's entries are held, and when sorted
// moved, by the hundred thousand. A name is shorter than the 64 KiB a
// directory entry can hold.
struct EntryRecord
{
    std::uint32_t nameOffset = 0;
    std::uint16_t nameLength = 0;
    bool isDirectory : 1 = false;
    bool hasIdentity : 1 = false; // set when the directory test had to stat the entry; else the inode is the listing's
    bool handedOver : 1 = false;  // a subdirectory another walk takes care of
    bool excluded : 1 = false;    // left out by the exclusions, kept only to be told of; never a directory
    DirectoryIdentity identity;
};
static_assert(sizeof(EntryRecord) == 24);

// Entries of one or more directories, their names stored back to back, each
// followed by a zero byte so that it can be handed to the system as it is.
// Listings are appended and dropped from the end, like a stack. Where a walk
// reads metadata, each entry's is kept beside it in a table of its own, which
// then holds exactly as many as there are entries, in the same order.
class EntryTable
{
public:
    std::size_t size() const { return m_records.size(); }
    std::size_t nameBytes() const { return m_nameBytes; }
    const EntryRecord &operator[](std::size_t index) const { return m_records[index]; }
    EntryRecord &operator[](std::size_t index) { return m_records[index]; }
    const EntryMetadata &metadata(std::size_t index) const
    {
        assert(m_metadata.size() == m_records.size());
        return m_metadata[index];
    }

    std::string_view name(const EntryRecord &entry) const
    {
        return {m_names.data() + entry.nameOffset, entry.nameLength};
    }
    const char *terminatedName(const EntryRecord &entry) const { return m_names.data() + entry.nameOffset; }

    EntryRecord &append(std::string_view name);
    EntryRecord &append(std::string_view name, const EntryMetadata &metadata)
    {
        assert(m_metadata.size() == m_records.size());
        m_metadata.emplace_back() = metadata;
        return append(name);
    }
    void truncate(std::size_t records, std::size_t nameBytes);
    // Puts the entries from `first` to the end in a new order: the entry at
    // first + i becomes the one that was at first + order[i]. Their names
    // move with them, so that a walk through the new order reads both
    // tables straight ahead. `scratch` is working memory.
    void reorder(std::size_t first, const std::uint32_t *order, LargeBuffer &scratch);
    // Room for `records` more entries and `nameBytes` more bytes of names,
    // and for as many more entries' metadata `withMetadata`.
    void reserve(std::size_t records, std::size_t nameBytes, bool withMetadata = false)
    {
        m_records.reserve(m_records.size() + records);
        m_names.reserve(m_nameBytes + nameBytes);
        if (withMetadata)
            m_metadata.reserve(m_records.size() + records);
    }

private:
    LargeVector<EntryRecord> m_records;
    LargeVector<EntryMetadata> m_metadata; // empty, or one for each record
    LargeBuffer m_names;
    std::size_t m_nameBytes = 0;
};
