#pragma once

#include <string_view>

// Receives the tree below a root, depth first, each directory's entries in
// the order of its listing. Names are valid only during the call.
class TreeVisitor
{
public:
    virtual ~TreeVisitor() = default;

    // An entry that is not a directory.
    virtual void file(std::string_view name) = 0;
    // A subdirectory. Its own entries follow, up to the matching directoryEnd().
    virtual void directoryBegin(std::string_view name) = 0;
    virtual void directoryEnd() = 0;
    // The directory whose entries would follow now (the root, or the
    // subdirectory just begun) could not be opened, for the reason `error`
    // (an errno value).
    virtual void directoryUnreadable(int error) = 0;
};
