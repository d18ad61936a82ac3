#include "subtreesizes.h"

#include <algorithm>
#include <cassert>

SubtreeSizes::Bytes &SubtreeSizes::Bytes::operator+=(const Bytes &more)
{
    apparent += more.apparent;
    disk += more.disk;
    return *this;
}

SubtreeSizes::Bytes &SubtreeSizes::Bytes::operator-=(const Bytes &less)
{
    // What is taken back was added here or below first, unless the tree
    // changed during the walk: a directory listed again may hold more.
    apparent -= std::min(apparent, less.apparent);
    disk -= std::min(disk, less.disk);
    return *this;
}

void SubtreeSizes::activate()
{
    if (m_active)
        return;
    m_active = true;
    m_open.emplace_back().stage = Stage::Entered;
    m_totals.resize(1);
}

void SubtreeSizes::root(const EntryMetadata &metadata)
{
    activate();
    // Nothing of the tree comes before the root's own.
    assert(m_open.size() == 1 && m_open.back().sums.counted.apparent == 0 && m_open.back().sums.unreadable == 0);
    Open &root = m_open.back();
    root.stage = Stage::Begun;
    root.metadata = metadata;
}

void SubtreeSizes::entry(const EntryMetadata &metadata)
{
    activate();
    enterPending();
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
    if (m_next.leadsNowhere)
        return m_elsewhere > 0 || m_next.readable();
    return countFile(m_next);
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
    open.metadata = m_next;
}

void SubtreeSizes::notEntered()
{
    if (!m_active)
        return;
    Open &open = m_open.back();
    // Told at once, before anything of the directory is counted.
    assert(open.stage == Stage::Begun);
    open.stage = Stage::NotEntered;
    open.countedElsewhere = m_elsewhere > 0 || (open.metadata.readable() && m_meetings.metBefore(open.metadata.identity));
}

void SubtreeSizes::end()
{
    if (!m_active)
        return;
    // The root is closed by finish() alone.
    assert(m_open.size() > 1);
    enterPending();
    close();
}

void SubtreeSizes::finish()
{
    enterPending();
    while (!m_open.empty())
        close();
}

// A directory is counted once it is known to be entered: when its first
// entry or its end comes, and no word that it was not entered.
void SubtreeSizes::enterPending()
{
    if (!m_open.empty() && m_open.back().stage == Stage::Begun)
        countDirectory(m_open.back());
}

void SubtreeSizes::countDirectory(Open &open)
{
    open.stage = Stage::Entered;
    const EntryMetadata &metadata = open.metadata;
    const Open *parent = m_open.size() > 1 ? &m_open[m_open.size() - 2] : nullptr;
    open.reachedThroughLink = metadata.throughLink || (parent && parent->reachedThroughLink);
    bool metBefore = m_elsewhere > 0;
    if (!metadata.readable()) {
        open.ownNameFirst = !open.reachedThroughLink;
        open.sums.unreadable += !metBefore;
    } else {
        bool first = false;
        FileMeetings::Meeting &meeting = m_meetings.meet(metadata.identity, first);
        metBefore = metBefore || !first;
        const Bytes own{metadata.size, metadata.diskBytes};
        open.sums.counted += own;
        if (!first) {
            open.lastMeetingJoin = openHolding(meeting.lastPlace);
            m_open[open.lastMeetingJoin].sums.counted -= own;
        }
        meeting.lastPlace = open.directory;
        open.ownNameFirst = !open.reachedThroughLink && meeting.ownNames == 0;
        if (open.ownNameFirst) {
            meeting.ownNames = 1;
            open.sums.freed += own;
        }
        if (metadata.hasModifiedTime)
            takeNewest(open, metadata.modifiedSeconds);
    }
    open.countedElsewhere = metBefore;
    m_elsewhere += metBefore;
}

bool SubtreeSizes::countFile(const EntryMetadata &metadata)
{
    Open &here = m_open.back();
    bool metBefore = m_elsewhere > 0;
    if (!metadata.readable()) {
        here.sums.unreadable += !metBefore;
        return metBefore;
    }
    if (metadata.hasModifiedTime)
        takeNewest(here, metadata.modifiedSeconds);
    const Bytes bytes{metadata.size, metadata.diskBytes};
    here.sums.counted += bytes;
    if (!m_meetings.held(metadata, false)) {
        // Met wherever its directory is: where that was met before, it was too.
        if (here.lastMeetingJoin != noPlace)
            m_open[here.lastMeetingJoin].sums.counted -= bytes;
        if (here.ownNameFirst)
            here.sums.freed += bytes;
        return metBefore;
    }
    bool first = false;
    FileMeetings::Meeting &meeting = m_meetings.meet(metadata.identity, first);
    if (!first)
        m_open[openHolding(meeting.lastPlace)].sums.counted -= bytes;
    meeting.lastPlace = here.directory;
    if (!metadata.throughLink && here.ownNameFirst)
        countOwnName(meeting, metadata.links, bytes);
    return metBefore || !first;
}

// Once every name the file has is met, deleting the innermost directory
// that holds them all frees it.
void SubtreeSizes::countOwnName(FileMeetings::Meeting &meeting, std::uint32_t links, const Bytes &bytes)
{
    if (meeting.ownNames >= links) // its names changed during the walk
        return;
    const std::size_t holding = meeting.ownNames == 0 ? m_open.size() - 1 : openHolding(meeting.namesPlace);
    meeting.namesPlace = m_open[holding].directory;
    if (++meeting.ownNames == links)
        m_open[holding].sums.freed += bytes;
}

// Directories are numbered in the order they begin, and an open directory
// holds every place met since it began.
std::size_t SubtreeSizes::openHolding(std::uint32_t place) const
{
    const auto after = std::upper_bound(m_open.begin(), m_open.end(), place,
                                        [](std::uint32_t number, const Open &open) { return number < open.directory; });
    assert(after != m_open.begin());
    return std::size_t(after - m_open.begin()) - 1;
}

void SubtreeSizes::close()
{
    const Open open = m_open.back();
    m_open.pop_back();
    Totals &totals = m_totals[open.directory];
    totals.countedElsewhere = open.countedElsewhere;
    if (open.stage == Stage::NotEntered)
        return;
    Bytes shared = open.sums.counted;
    shared -= open.sums.freed;
    totals.apparentBytes = open.sums.counted.apparent;
    totals.diskBytes = open.sums.counted.disk;
    totals.sharedApparentBytes = shared.apparent;
    totals.sharedDiskBytes = shared.disk;
    totals.unreadable = std::uint32_t(open.sums.unreadable);
    totals.newest = open.newest;
    totals.hasNewest = open.hasNewest;
    m_elsewhere -= open.countedElsewhere;
    if (m_open.empty())
        return;
    Open &parent = m_open.back();
    parent.sums.counted += open.sums.counted;
    parent.sums.freed += open.sums.freed;
    parent.sums.unreadable += open.sums.unreadable;
    if (open.hasNewest)
        takeNewest(parent, open.newest);
}

void SubtreeSizes::takeNewest(Open &open, std::int64_t time)
{
    if (!open.hasNewest || time > open.newest)
        open.newest = time;
    open.hasNewest = true;
}
