#pragma once

#include "directoryidentity.h"
#include "listingstack.h"
#include "walkpath.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// Takes directories off a walk's hands, to be walked on their own by others.
class SubtreeSink
{
public:
    virtual ~SubtreeSink() = default;
    // Above zero while some walker waits for work.
    virtual const std::atomic<int> &wanted() const = 0;
    // Takes a subdirectory of the walk's, by `path` from the walk's start,
    // with `ancestors` from the root down to its parent. Gives a ticket for
    // placeSubtree().
    virtual std::size_t takeSubtree(std::string path, std::vector<DirectoryIdentity> ancestors) = 0;
    // Puts what the walk of the subdirectory found in the place the walk has
    // reached, between the subdirectory's begin and end.
    virtual void placeSubtree(std::size_t ticket) = 0;
};

// Hands a walk's subdirectories to a sink while others wait for work: the
// one still to be entered that lies nearest the walk's start, which is
// likely to hold the most work. Cursors that only move forward keep the
// search cheap however often it is made: no level above the first cursor
// has a subdirectory left to hand over, and none of a level's entries
// before its own cursor is one.
class SubtreeHandOver
{
public:
    static constexpr std::size_t noLevel = std::size_t(-1);

    // Without a sink, nothing is ever handed over.
    explicit SubtreeHandOver(SubtreeSink *sink);

    bool wanted() const { return m_wanted && m_wanted->load(std::memory_order_relaxed) > 0; }

    // A level was pushed, with its entries from `firstEntry`, or popped.
    void push(std::size_t firstEntry) { m_levelCursors.push_back(firstEntry); }
    void pop()
    {
        m_levelCursors.pop_back();
        m_firstLevel = std::min(m_firstLevel, m_levelCursors.size());
    }

    // Hands over one subdirectory, marking its entry. Gives the level whose
    // listing held it, or noLevel when none was handed over.
    std::size_t handOverOne(ListingStack &listings, const WalkPath &path);
    // When the walk reaches a subdirectory it handed over: the sink puts
    // the subtree's walk in its place.
    void place(std::size_t entry);

private:
    bool nothingToHandOverAbove(ListingStack &listings) const;

    SubtreeSink *const m_sink;
    const std::atomic<int> *const m_wanted;
    std::size_t m_firstLevel = 0;               // levels above it have nothing left to hand over
    std::vector<std::size_t> m_levelCursors;    // per level: no entry before it can be handed over
    std::unordered_map<std::size_t, std::size_t> m_tickets; // handed-over entries and their tickets
};
