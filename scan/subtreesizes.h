#pragma once

#include "entrymetadata.h"
#include "filemeetings.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The sizes of each directory's whole subtree, the directory itself
// included, and the newest modification time in it, from the metadata a
// walk read. Each directory counts what du -L counts of it alone: every file
// of its subtree once, wherever else it is linked or met; nothing of a
// directory not entered (a loop, another file system, a kernel pseudo file
// system), whose own entry du leaves out too, and which is not met there;
// nothing of a link that could not be followed; but the own size of a
// directory that could not be read. An entry whose metadata could not be
// read counts as unreadable, never as a size.
//
// Of its totals, the shared part is held by files that have a name outside
// the directory (elsewhere in the tree, or outside it: the file's link count
// tells), or that it reaches only through a followed link: the totals less
// the shared part are what deleting the directory frees.
//
// How: a file met in several places adds its size where it is met and takes
// it back from the innermost directory holding this place and the one it
// was last met in, so that every directory above both counts it once. A
// file with one link is met wherever the directory holding it is, and goes
// with that directory's meetings. What deleting frees is added once, to the
// innermost directory holding all of a file's own names.
//
// DirectoryTally, which numbers the directories, tells it of the walk's
// events. It keeps nothing until the first metadata comes.
class SubtreeSizes
{
public:
    struct Totals
    {
        std::uint64_t apparentBytes = 0;
        std::uint64_t diskBytes = 0;
        std::uint64_t sharedApparentBytes = 0; // of the totals, held by files with a name outside it
        std::uint64_t sharedDiskBytes = 0;
        std::int64_t newest = 0;      // seconds since the epoch, when hasNewest
        std::uint32_t unreadable = 0; // entries whose metadata could not be read, itself included
        bool hasNewest = false;
        bool countedElsewhere = false; // met before in the tree: the first place shows what it holds
    };

    void expectLinkTargets(std::vector<FileIdentity> targets) { m_meetings.expectLinkTargets(std::move(targets)); }

    void root(const EntryMetadata &metadata);
    // Of the entry whose file() or begin() comes next.
    void entry(const EntryMetadata &metadata);
    // Whether the file, described, was met before in the tree, or is a link
    // that could not be followed.
    bool file();
    // `directory` is the number DirectoryTally gives it.
    void begin(std::uint32_t directory);
    // Of the directory just begun.
    void notEntered();
    void end();
    // After the last event: closes the root.
    void finish();

    bool active() const { return m_active; }
    // Whether a file, described, may be met in more than one place.
    bool mayBeMetAgain(const EntryMetadata &metadata) const { return m_meetings.held(metadata, false); }
    const Totals &totals(std::size_t directory) const { return m_totals[directory]; }

private:
    struct Bytes
    {
        std::uint64_t apparent = 0;
        std::uint64_t disk = 0;
        Bytes &operator+=(const Bytes &more);
        Bytes &operator-=(const Bytes &less); // never below 0
    };
    struct Sums
    {
        Bytes counted;
        Bytes freed; // what deleting the directory frees: never more than counted
        std::uint64_t unreadable = 0;
    };
    enum class Stage { Begun, Entered, NotEntered };
    struct Open
    {
        std::uint32_t directory = 0;
        Stage stage = Stage::Begun;
        EntryMetadata metadata; // its own, counted once it is known to be entered
        Sums sums;
        std::int64_t newest = 0;
        bool hasNewest = false;
        bool countedElsewhere = false;
        bool reachedThroughLink = false; // it or a directory above it was, through a followed link
        bool ownNameFirst = false; // the first place it is met by its own name: what it holds is freed with it
        std::size_t lastMeetingJoin = noPlace; // where its last place and this one join, when met before
    };
    static constexpr std::size_t noPlace = std::size_t(-1);

    void activate();
    void enterPending();
    void countDirectory(Open &open);
    // Counts a file of the innermost open directory; gives whether it was met before.
    bool countFile(const EntryMetadata &metadata);
    void countOwnName(FileMeetings::Meeting &meeting, std::uint32_t links, const Bytes &bytes);
    // The innermost open directory that holds the directory numbered `place`.
    std::size_t openHolding(std::uint32_t place) const;
    static void takeNewest(Open &open, std::int64_t time);
    void close();

    bool m_active = false;
    EntryMetadata m_next;
    bool m_hasNext = false;
    std::size_t m_elsewhere = 0; // open directories met before: what they hold is flagged as such
    std::vector<Open> m_open;
    std::vector<Totals> m_totals; // by directory
    FileMeetings m_meetings;
};
