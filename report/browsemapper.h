#pragma once

#include "talliedformat.h"
#include "walkrules.h"

#include <string>
#include <string_view>

// Writes the browsable page: one self-contained HTML file, pure ASCII, whose
// script (report/page/browse.js) shows the tree from data embedded in it.
// The page is the frame of report/page/browse.html with its slots filled;
// the data is one JSON document inside <script type="application/json" id="map-data">,
// on one line, made to be small and quick to parse:
//
//   {"format":1,"made":"2026-01-31T12:00:00Z","files_listed":true,
//    "rules":{"follow_links":true,"one_file_system":false,
//             "sort":"filesystem"|"name"|"version","exclude":[PATTERN...]},
//    "tree":[ROOT, entries..., 0]}
//
// "tree" holds the root and every entry below it in listing order, flat:
// - a directory is an object {"d":NAME,"n":[FOLDERS,FILES]}, FOLDERS and
//   FILES being the numbers of folders and files in its whole subtree (the
//   root's are the map's two counts), with "r":REASON where it was not
//   entered or not read whole ("loop", "pseudo file system", "other file
//   system", "unreadable: " and the system's reason); its entries follow it,
//   and a 0 ends them;
// - any other entry, when files are listed, is its NAME, a bare string.
// The root's NAME is its path as given. Names are written as the report
// shows them: the bytes read as UTF-8, a byte that is not part of a valid
// sequence standing for the character of its value; every character from
// U+0080 up, the control characters and "<", ">" and "&" as \uXXXX.
//
// Where the walk read each entry's metadata, the top has "sizes":true
// after "files_listed". The tree keeps the form above, and says why sizes
// are missing:
// - a file whose metadata could not be read is {"f":NAME,"r":REASON},
//   REASON being "unreadable: " and the system's reason;
// - a directory whose own metadata could not be read has "m":REASON;
//   "u":N says that the metadata of N entries of its subtree, itself
//   included, could not be read.
// A directory part of whose totals is held by files that have a name
// outside it too (or that it reaches only through a followed link) has
// "h":[SIZE,BLOCKS], that part in bytes and in 512-byte blocks: its totals
// less that part are what deleting it frees.
// The sizes themselves are a second JSON document, in its own
// <script type="application/json" id="size-data"> after the first, so that
// the page can show the tree before it reads them: one flat array of three
// numbers for each entry of "tree" (the 0s left out), in the same order,
//
//   [SIZE,BLOCKS,AGE, SIZE,BLOCKS,AGE, ...]
//
// - for a file, SIZE is its apparent size in bytes, BLOCKS the space it
//   takes on the disk in 512-byte blocks, AGE its modification time as
//   whole seconds before "made" (negative if later);
// - for a directory, what its whole subtree holds, itself included, each
//   file counted once, AGE that of the newest time in it; where its own
//   metadata could not be read, the totals are what could be. A directory
//   not entered counts nothing of what it holds. Where it was met before in
//   the map (reached again through a followed link), all three are null:
//   what it holds is counted at its first place;
// - a file whose metadata could not be read has three nulls;
// - AGE is null where the file system keeps no time.
// Without metadata none of this is written and the second element is
// empty. "format" is raised only when a form above changes meaning.
class BrowseMapper : public TalliedFormat
{
public:
    // The heading has the tally.
    BrowseMapper(const MapHeading &heading, std::string &output);

    void begin() override;
    void end() override;

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;

private:
    void writeDirectory(std::string_view name);
    void writeDirectorySizes(const EntryMetadata &metadata, const SubtreeSizes::Totals &totals);
    void writeRules(const WalkRules *rules);
    // Seconds from `seconds` since the epoch to when the map was made.
    std::int64_t ageOf(std::int64_t seconds) const;
    // Writes the frame's pieces from `m_piece` on, filling their slots, up
    // to the data, the sizes or the end.
    void writeFrame();

    const MapHeading m_heading;
    const DirectoryTally &m_tally;
    const bool m_listFiles;
    std::string &m_output;
    std::size_t m_piece = 0;
    // The sizes' data, written after the tree.
    std::string m_sizes;
};
