#pragma once

#include "entrymetadata.h"

#include <string_view>

// Why a directory was listed but not entered.
enum class NotEnteredReason : unsigned char {
    Loop,             // it is already on the path from the root
    PseudoFileSystem, // a kernel pseudo file system, below a root that is not on one
    OtherFileSystem,  // on another device than the root, where the walk stays on the root's
};

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
    // A directory could not be read, for the reason `error` (an errno
    // value). One that cannot be opened is reported where its entries would
    // follow: at once for the root, or right after the subdirectory's
    // directoryBegin(). One whose listing fails part way is reported after
    // the entries that were read: just before its directoryEnd(), or for the
    // root at the end of the walk.
    virtual void directoryUnreadable(int error) = 0;
    // The subdirectory just begun is not entered, for `reason`; its
    // directoryEnd() follows at once.
    virtual void directoryNotEntered(NotEnteredReason reason) = 0;

    // Only where the walk reads metadata (WalkRules::readMetadata): the
    // root's, before anything else, and each entry's, or why it could not
    // be read, just before the file() or directoryBegin() of the entry.
    virtual void rootMetadata(const EntryMetadata &) {}
    virtual void entryMetadata(const EntryMetadata &) {}
    // Only where the walk lists what its exclusions leave out
    // (WalkRules::listExcluded): an entry they matched, in its place. It is
    // not counted, described or entered.
    virtual void excluded(std::string_view) {}
};
