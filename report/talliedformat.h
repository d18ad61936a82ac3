#pragma once

#include "directorytally.h"
#include "mapformat.h"

#include <cstddef>
#include <string>

// A format that writes what it shows of a directory where the directory
// begins, from the tally its heading has: the counts of its subtree, its
// sizes where the walk read metadata, and why it was not entered or not
// read whole. The walk's own reason events are therefore passed over.
class TalliedFormat : public MapFormat
{
public:
    explicit TalliedFormat(const MapHeading &heading);

    void directoryUnreadable(int) override {}
    void directoryNotEntered(NotEnteredReason) override {}
    void entryMetadata(const EntryMetadata &metadata) override { m_nextMetadata = metadata; }

protected:
    struct Directory
    {
        DirectoryTally::Counts counts;
        const DirectoryTally::Reason *reason = nullptr; // none: entered and read whole
        bool unsearchable = false; // listed, but its entries could not be described
        // Where the walk read metadata: the directory's own, and what its
        // subtree holds.
        const EntryMetadata *metadata = nullptr;
        const SubtreeSizes::Totals *sizes = nullptr;
    };

    // Whether the walk read each entry's metadata.
    bool hasSizes() const { return m_hasSizes; }
    // The directory that begins next in the replay, the root first.
    Directory nextDirectory();
    // Where the walk read metadata, that of the entry about to be told of
    // (within file() or directoryBegin()); else null.
    const EntryMetadata *nextMetadata() const { return m_hasSizes ? &m_nextMetadata : nullptr; }
    // Whether the file about to be told of (within file()) was described and
    // added nothing to the sizes: called once for each file, or never.
    bool nextFileAddedNothing() { return m_tally.addedNothing(m_file++); }
    // Whether a file may be met in more than one place of the map (its
    // sizes then count once in each directory that holds it).
    bool mayBeMetAgain(const EntryMetadata &metadata) const { return m_tally.mayBeMetAgain(metadata); }
    // Whether every directory of the tally has been begun: at the end, it
    // must have been.
    bool replayedWhole() const
    {
        return m_directory == m_tally.directoryCount() && m_reason == m_tally.reasons().size();
    }
    // As the JSON document states it.
    static std::string reasonText(const DirectoryTally::Reason &reason);

private:
    const DirectoryTally &m_tally;
    const bool m_hasSizes;
    std::size_t m_directory = 0;
    std::size_t m_file = 0;
    std::size_t m_reason = 0; // the next of the tally's reasons
    EntryMetadata m_nextMetadata;
};
