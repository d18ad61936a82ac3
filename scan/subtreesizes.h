#pragma once

#include "countedfiles.h"
#include "entrymetadata.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The sizes of each directory's whole subtree, the directory itself
// included, and the newest modification time in it, from the metadata a
// walk read. What counts is what du counts in one pass over the tree in the
// same order: each file once, at its first place (CountedFiles), so that a
// directory met again, through a followed link or a mount, counts nothing,
// nor does anything below it; nothing of a directory not entered (a loop,
// another file system, a kernel pseudo file system), whose own entry du
// leaves out too, and which is not met there, so that its other place
// counts; nothing of a link that could not be followed, as du -L; but the
// own size of a directory that could not be read. An entry whose metadata
// could not be read counts as unreadable, never as a size.
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
        std::int64_t newest = 0;      // seconds since the epoch, when hasNewest
        std::uint32_t unreadable = 0; // entries whose metadata could not be read, itself included
        bool hasNewest = false;
        bool countedElsewhere = false; // met before in the tree: what it holds counts there
    };

    void expectLinkTargets(std::vector<FileIdentity> targets) { m_counted.expectLinkTargets(std::move(targets)); }

    void root(const EntryMetadata &metadata);
    // Of the entry whose file() or begin() comes next.
    void entry(const EntryMetadata &metadata);
    // Whether the file, described, added nothing: it was counted elsewhere,
    // or it is a link that could not be followed.
    bool file();
    // `directory` is the number DirectoryTally gives it.
    void begin(std::uint32_t directory);
    // Of the directory just begun.
    void notEntered();
    void end();
    // After the last event: closes the root.
    void finish();

    bool active() const { return m_active; }
    const Totals &totals(std::size_t directory) const { return m_totals[directory]; }

private:
    struct Sums
    {
        std::uint64_t apparentBytes = 0;
        std::uint64_t diskBytes = 0;
        std::uint64_t unreadable = 0;
    };
    struct Open
    {
        std::uint32_t directory = 0;
        Sums before; // counted in the replay before the directory itself
        Sums own;    // what the directory itself added
        std::int64_t newest = 0;
        bool hasNewest = false;
        bool countedElsewhere = false;
        bool firstMet = false; // its identity was first held at its begin()
        FileIdentity identity;
    };

    void activate();
    // Counts an entry of the innermost open directory, or that directory
    // itself; gives what it added.
    Sums count(const EntryMetadata &metadata, bool isDirectory, bool &metBefore);
    static void takeNewest(Open &open, std::int64_t time);
    void close();

    bool m_active = false;
    EntryMetadata m_next;
    bool m_hasNext = false;
    Sums m_sums;                 // counted so far in the replay
    std::size_t m_elsewhere = 0; // open directories counted elsewhere: while any is, nothing counts
    std::vector<Open> m_open;
    std::vector<Totals> m_totals; // by directory
    CountedFiles m_counted;
};
