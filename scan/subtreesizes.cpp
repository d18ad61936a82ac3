#include "subtreesizes.h"

#include <cassert>
#include <tuple>

void SubtreeSizes::activate()
{
    if (m_active)
        return;
    m_active = true;
    m_open.emplace_back();
    m_totals.resize(1);
}

void SubtreeSizes::root(const EntryMetadata &metadata)
{
    activate();
    // Nothing of the tree comes before the root's own.
    assert(m_open.size() == 1 && m_sums.apparentBytes == 0 && m_sums.unreadable == 0);
    bool metBefore = false;
    m_open.back().own = count(metadata, true, metBefore);
}

void SubtreeSizes::entry(const EntryMetadata &metadata)
{
    activate();
    m_next = metadata;
    m_hasNext = true;
}

bool SubtreeSizes::file()
{
    if (!m_active)
        return false;
    // A walk that reads metadata tells it of every entry.
    assert(m_hasNext);
    m_hasNext = false;
    bool metBefore = m_elsewhere > 0;
    if (!metBefore && !m_next.leadsNowhere)
        count(m_next, false, metBefore);
    return metBefore || (m_next.leadsNowhere && m_next.readable());
}

void SubtreeSizes::begin(std::uint32_t directory)
{
    if (!m_active)
        return;
    assert(m_hasNext);
    m_hasNext = false;
    if (m_totals.size() <= directory)
        m_totals.resize(directory + 1);
    Open &open = m_open.emplace_back();
    open.directory = directory;
    open.before = m_sums;
    bool metBefore = m_elsewhere > 0;
    if (!metBefore)
        open.own = count(m_next, true, metBefore);
    open.countedElsewhere = metBefore;
    open.firstMet = !metBefore && m_next.readable();
    open.identity = m_next.identity;
    m_elsewhere += metBefore;
}

void SubtreeSizes::notEntered()
{
    if (!m_active)
        return;
    Open &open = m_open.back();
    m_sums.apparentBytes -= open.own.apparentBytes;
    m_sums.diskBytes -= open.own.diskBytes;
    m_sums.unreadable -= open.own.unreadable;
    open.own = Sums();
    open.hasNewest = false;
    if (open.firstMet)
        m_counted.forget(open.identity);
}

void SubtreeSizes::end()
{
    if (!m_active)
        return;
    // The root is closed by finish() alone.
    assert(m_open.size() > 1);
    close();
}

void SubtreeSizes::finish()
{
    while (!m_open.empty())
        close();
}

void SubtreeSizes::close()
{
    const Open open = m_open.back();
    m_open.pop_back();
    Totals &totals = m_totals[open.directory];
    totals.apparentBytes = m_sums.apparentBytes - open.before.apparentBytes;
    totals.diskBytes = m_sums.diskBytes - open.before.diskBytes;
    totals.unreadable = std::uint32_t(m_sums.unreadable - open.before.unreadable);
    totals.newest = open.newest;
    totals.hasNewest = open.hasNewest;
    totals.countedElsewhere = open.countedElsewhere;
    if (open.countedElsewhere)
        --m_elsewhere;
    else if (open.hasNewest && !m_open.empty())
        takeNewest(m_open.back(), open.newest);
}

SubtreeSizes::Sums SubtreeSizes::count(const EntryMetadata &metadata, bool isDirectory, bool &metBefore)
{
    Sums added;
    if (!metadata.readable()) {
        added.unreadable = 1;
    } else if (!m_counted.firstMeeting(metadata, isDirectory)) {
        metBefore = true;
    } else {
        added.apparentBytes = metadata.size;
        added.diskBytes = metadata.diskBytes;
        if (metadata.hasModifiedTime)
            takeNewest(m_open.back(), metadata.modifiedSeconds);
    }
    m_sums.apparentBytes += added.apparentBytes;
    m_sums.diskBytes += added.diskBytes;
    m_sums.unreadable += added.unreadable;
    return added;
}

void SubtreeSizes::takeNewest(Open &open, std::int64_t time)
{
    if (!open.hasNewest || time > open.newest)
        open.newest = time;
    open.hasNewest = true;
}
