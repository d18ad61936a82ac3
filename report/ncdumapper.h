#pragma once

#include "talliedformat.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Writes the map in the export format that ncdu reads with -f (and gdu too),
// version 1.2:
//   [1,2,{"progname":"velmora-map","progver":"1.0.0","timestamp":T},
//   [{"name":"/abs/root"},
//   [{"name":"sub"},
//   {"name":"b.txt"}],
//   {"name":"a.txt"}]]
// a directory being an array whose first element is its own info object,
// any other entry that object alone, one entry a line. The root is named by
// its absolute path. A directory that was not entered is "excluded":
// "otherfs" under -x, "kernfs" on a pseudo file system, and "frmlnk" for a
// link or mount back into the path, the format's nearest word for a place
// reached another way; one that could not be read whole has "read_error",
// and so, where the walk read metadata, has one that could be listed but
// not searched, whose entries are left out then, as ncdu writes a folder it
// cannot enter. An entry has "read_error" once, whatever the reasons.
// Names are the bytes on disk: quotes, backslashes and control bytes are
// escaped, every other byte written as it is, so this output alone is not
// pure ASCII. Files are always listed: the format has no other way.
// Where the walk read metadata, each entry has "asize", "dsize", "ino" and
// "mtime" (left out for a time before 1970, which ncdu cannot read), a
// file with several names "hlnkc" and "nlink", an entry that is neither a
// regular file nor a directory "notreg", a directory "dev" where
// its device is not its parent's (the root always), and an entry whose
// metadata could not be read "read_error" and nothing of the rest. What the
// tally counted elsewhere has no size, so that ncdu and gdu add up what the
// JSON maps do: a directory met before is "frmlnk" with nothing below it, a
// file met before keeps the rest; a directory counted nowhere is an object
// alone, as gdu gives a directory 4096 bytes of its own otherwise. Where the
// walk lists what its exclusions leave out, each such entry is there, named
// alone with "excluded":"pattern", as ncdu shows what its own patterns
// matched.
class NcduMapper : public TalliedFormat
{
public:
    // The heading has the tally.
    NcduMapper(const MapHeading &heading, std::string &output);

    void begin() override;
    void end() override;

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void excluded(std::string_view name) override;

private:
    void writeDirectory(std::string_view name);
    // `metAgain`: a file that may be met in more than one place, which ncdu
    // is told to count once in each folder.
    void appendMetadata(const EntryMetadata &metadata, bool isDirectory, bool metAgain = false);
    void appendDescription(const EntryMetadata &metadata, bool isDirectory, bool metAgain = false);
    void appendDevice(dev_t device);
    bool leftOut() const { return m_leftOutDepth > 0; }

    const MapHeading m_heading;
    std::string &m_output;
    std::vector<dev_t> m_devices; // of each open directory written, where the walk read metadata
    // Open directories whose entries are not written: 1 for the innermost
    // one written, and one more for each begun below it.
    std::size_t m_leftOutDepth = 0;
    bool m_leftOutOfArray = false; // the innermost one written is an array, to be closed
};
