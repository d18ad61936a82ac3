#pragma once

#include "directorytally.h"
#include "mapformat.h"

#include <cstddef>
#include <string>

// A format that writes what it shows of a directory where the directory
// begins, from the tally its heading has: the counts of its subtree, and
// why it was not entered or not read whole. The walk's own reason events
// are therefore passed over.
class TalliedFormat : public MapFormat
{
public:
    explicit TalliedFormat(const MapHeading &heading);

    void directoryUnreadable(int) override {}
    void directoryNotEntered(NotEnteredReason) override {}

protected:
    struct Directory
    {
        DirectoryTally::Counts counts;
        const DirectoryTally::Reason *reason = nullptr; // none: entered and read whole
    };

    // The directory that begins next in the replay, the root first.
    Directory nextDirectory();
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
    std::size_t m_directory = 0;
    std::size_t m_reason = 0; // the next of the tally's reasons
};
