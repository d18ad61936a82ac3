#include "subtreehandover.h"

#include "directoryopener.h"

#include <algorithm>
#include <cassert>

SubtreeHandOver::SubtreeHandOver(SubtreeSink *sink)
    : m_sink(sink)
    , m_wanted(sink ? &sink->wanted() : nullptr)
{
}

std::size_t SubtreeHandOver::handOverOne(ListingStack &listings, const WalkPath &path)
{
    assert(m_levelCursors.size() == listings.depth());
    assert(nothingToHandOverAbove(listings));
    EntryTable &entries = listings.entries();
    for (; m_firstLevel < listings.depth(); ++m_firstLevel) {
        const ListingStack::Level &level = listings.level(m_firstLevel);
        if (level.pendingDirectories == 0)
            continue;
        std::size_t &cursor = m_levelCursors[m_firstLevel];
        cursor = std::max(cursor, level.nextEntry);
        while (cursor < level.endEntry && (!entries[cursor].isDirectory || entries[cursor].handedOver))
            ++cursor;
        if (cursor == level.endEntry)
            continue;
        EntryRecord &entry = entries[cursor];
        // The other walk opens it by its path, which must not grow too long.
        if (path.pathBytes(m_firstLevel) + 1 + entry.nameLength >= pathChunkBytes)
            return noLevel;
        [[maybe_unused]] const bool once
            = m_tickets
                  .emplace(cursor, m_sink->takeSubtree(path.pathFromStart(m_firstLevel, entries.name(entry)),
                                                       path.identitiesThrough(m_firstLevel)))
                  .second;
        assert(once);
        entry.handedOver = true;
        return m_firstLevel;
    }
    return noLevel;
}

void SubtreeHandOver::place(std::size_t entry)
{
    const auto ticket = m_tickets.find(entry);
    assert(ticket != m_tickets.end());
    m_sink->placeSubtree(ticket->second);
    m_tickets.erase(ticket);
}

bool SubtreeHandOver::nothingToHandOverAbove(ListingStack &listings) const
{
    for (std::size_t level = 0; level < m_firstLevel; ++level) {
        if (listings.level(level).pendingDirectories > 0)
            return false;
    }
    return true;
}
