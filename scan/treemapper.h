#pragma once

#include "listedentries.h"
#include "treevisitor.h"

#include <string>

// Writes the tree as nested HTML lists: a directory is a bold item followed
// by the list of its own entries; other entries are plain items, written only
// when they are `listed`.
class TreeMapper : public TreeVisitor
{
public:
    TreeMapper(ListedEntries listed, std::string &output);

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable(int error) override;
    void directoryNotEntered(NotEnteredReason reason) override;

private:
    const bool m_listFiles;
    std::string &m_output;
};

// Appends the list of the tree below `path` to `output`: "<ul>", the items
// of the root's entries, "</ul>". Files are listed when `listFiles` is 1,
// and only then. A directory that cannot be opened gets the empty list.
//
// The program maps the recording of its one listing with a TreeMapper and
// writes the list out piece by piece as it is made (see MapJob).
void mapDirectory(const std::string &path, int listFiles, std::string &output);
