#pragma once

#include "talliedformat.h"
#include "walkrules.h"

#include <string>
#include <string_view>

// Writes the browsable page: one self-contained HTML file, pure ASCII, whose
// script (report/page/browse.js) shows the tree from data embedded in it.
// The page is the frame of report/page/browse.html with its slots filled;
// the data is one JSON document inside <script type="application/json">,
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
// after "files_listed", and sizes are added (bytes, and times in whole
// seconds since the epoch, null where the file system keeps none):
// - a file becomes an array [NAME,SIZE,DISK,MTIME], SIZE its apparent size
//   and DISK the space it takes on the disk;
// - a file whose metadata could not be read becomes {"f":NAME,"r":REASON},
//   REASON being "unreadable: " and the system's reason: it has no size;
// - a directory gains "s":[SIZE,DISK,MTIME,TOTAL_SIZE,TOTAL_DISK,NEWEST],
//   its own three and what its whole subtree holds, itself included, each
//   file counted once, NEWEST the latest MTIME in it. Where its own
//   metadata could not be read, its own three are null and "m":REASON
//   says why. Where it was met before in the map (reached again through a
//   followed link), the three totals are null: what it holds is counted at
//   its first place. "u":N says that the metadata of N entries of its
//   subtree, itself included, could not be read: the totals are then what
//   could be. A directory not entered counts nothing of what it holds.
// Without metadata none of this is written. "format" is raised only when a
// form above changes meaning.
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
    // Writes the frame's pieces from `m_piece` on, filling their slots, up
    // to the data or to the end.
    void writeFrame();

    const MapHeading m_heading;
    const DirectoryTally &m_tally;
    const bool m_listFiles;
    std::string &m_output;
    std::size_t m_piece = 0;
};
