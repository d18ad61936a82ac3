#pragma once

class ExclusionRules;

// The order in which each directory's entries are visited.
enum class EntryOrder : unsigned char {
    FileSystem, // as the file system lists them
    Name,       // by the bytes of their names
    Version,    // by name, digit runs by their value (entryorder.h)
};

// What a walk enters and lists, and in which order. The default maps
// everything below the root, links followed, in the file system's order.
struct WalkRules
{
    // Below the root: without, a symbolic link is an entry that is not a
    // directory, whatever it points to. The root itself is always followed.
    bool followLinks = true;
    // A directory on another device than the root's is not entered.
    bool oneFileSystem = false;
    EntryOrder order = EntryOrder::FileSystem;
    // Entries left out, with what matched; none when null.
    ExclusionRules *exclusions = nullptr;
    // Every entry listed, and the root, is described by one statx relative
    // to its directory (entrymetadata.h), which visitors are told of just
    // before the entry. It also answers whether a link or an entry of
    // unknown type is a directory, and which one a directory is.
    bool readMetadata = false;
    // The entries the exclusions leave out are still told of, by name, for a
    // map that shows where something was left out.
    bool listExcluded = false;
};
