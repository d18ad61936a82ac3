#pragma once

#include "talliedformat.h"

#include <string>
#include <string_view>

// Writes the map as one JSON document on one line, ended by a line break:
//   {"format_version":1,"folders":F,"files":N,"files_listed":B,
//    "sizes":B,"tree":ROOT}
// ROOT, named by the root's path as given, and every directory below it is
//   {"name":…,"type":"directory","folders":F,"files":N,
//    "contents":[entries in listing order]}
// its "folders" and "files" counting its whole subtree, and every other
// entry, when files are listed, {"name":…,"type":"file"}. A directory that
// was not entered has a "reason" and no "contents"; one whose listing failed
// part way has the "contents" read and a "reason". A name that is not valid
// UTF-8 is followed by "name_bytes", its exact bytes as numbers. Where the
// walk read metadata ("sizes":true), each entry has the fields of
// appendEntrySizes() after its type, and each directory those of
// appendSubtreeSizes() (sizefields.h). The document stays valid JSON
// whatever the names hold.
class JsonMapper : public TalliedFormat
{
public:
    // The heading has the tally.
    JsonMapper(const MapHeading &heading, std::string &output);

    void begin() override;
    void end() override;

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    // Before the directory's first entry: it was not entered. After some:
    // its listing ended there.
    void directoryUnreadable(int error) override;
    void directoryNotEntered(NotEnteredReason reason) override;

private:
    // Where the innermost open directory stands. Its parent, if any, is
    // always Listing, so no more than this is kept.
    enum class DirectoryState {
        Begun,   // its name and type are written, nothing after them
        Listing, // its "contents" are open
        Closed,  // its "reason" is written; only its end can follow
    };

    void enterContents();
    void separate();
    void beginEntry(std::string_view name);
    void addReason(const std::string &reason);
    void beginDirectory(std::string_view name);

    const MapHeading m_heading;
    const bool m_listFiles;
    std::string &m_output;
    DirectoryState m_directory = DirectoryState::Begun;
    bool m_firstEntry = true; // nothing yet in the contents being written
};
