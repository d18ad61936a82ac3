#pragma once

#include "talliedformat.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Writes the map as JSON Lines: one JSON object a line, which any parser
// reads at any depth, and grep or `jq -c` line by line. The first line is
// the map's own:
//   {"format_version":1,"root":ROOT,"folders":F,"files":N,"files_listed":B,
//    "sizes":B}
// with the root's "reason" where it was not read whole. Then one line per
// entry below the root, in listing order, each directory before its
// entries:
//   {"path":"sub/b.txt","type":"file"}
//   {"path":"sub","type":"directory","folders":F,"files":N}
// "path" is relative to ROOT, its names joined by "/"; a directory's
// "folders" and "files" count its whole subtree, and it has a "reason"
// where it was not entered or not read whole. Files are listed only when
// the map lists them. Where the walk read metadata ("sizes":true), each
// entry, the root included, has the size fields of the JSON document
// (sizefields.h), a directory's before its counts. A ROOT or path that is not valid UTF-8 has U+FFFD for
// each stray byte and its exact bytes as numbers in "root_bytes" or
// "path_bytes".
class JsonLinesMapper : public TalliedFormat
{
public:
    // The heading has the tally.
    JsonLinesMapper(const MapHeading &heading, std::string &output);

    void begin() override;
    void end() override;

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;

private:
    void beginLine(std::string_view key, std::string_view path);
    void appendCountsAndReason();
    // Writes the "path" of `name`, in the directory being listed: its
    // directory's part as written before, where that is text, and the name.
    void appendPath(std::string_view name);
    // The path of `name` in the directory being listed, held in m_path.
    std::string_view enter(std::string_view name);

    const MapHeading m_heading;
    const bool m_listFiles;
    std::string &m_output;
    struct Parent
    {
        std::size_t directoryLength;
        std::size_t writtenLength;
        bool nameIsText;
    };

    std::string m_path;                // of the last entry, which begins with its directory's
    std::size_t m_directoryLength = 0; // of the directory being listed, 0 for the root
    // The directory being listed as its path is written in a JSON string,
    // with "/" after it; empty for the root. Each entry's path is this and
    // its name, so that no line escapes the whole of its path again.
    std::string m_writtenDirectory;
    std::string m_name;                // the last entry's name as a JSON string
    bool m_nameIsText = true;          // valid UTF-8, written as it is
    std::size_t m_notText = 0;         // open directories whose names are not: below them, paths are written whole
    std::vector<Parent> m_parents;     // of each open directory above
};
