#pragma once

#include "entrymetadata.h"
#include "subtreesizes.h"

#include <string>

// The size fields the JSON formats give an entry whose metadata the walk
// read: ,"size":N,"disk":N,"mtime":S (bytes, bytes on disk, whole seconds
// since the epoch; no "mtime" where the file system keeps no time), or,
// where it could not be read, ,"metadata_reason":"unreadable: ..." and no
// size at all.
void appendEntrySizes(std::string &out, const EntryMetadata &metadata);

// What a directory's subtree holds, the directory itself included, each
// file counted once: ,"total_size":N,"total_disk":N, then "newest_mtime"
// where any time was read, and "unreadable_entries":N where the metadata of
// N entries of it, itself included, could not be read, the totals then
// being what could. A directory
// already counted elsewhere in the map (reached again through a link) has
// "counted_elsewhere":true instead of totals.
void appendSubtreeSizes(std::string &out, const SubtreeSizes::Totals &totals);
