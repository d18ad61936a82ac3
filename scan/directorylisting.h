#pragma once

#include <string>
#include <vector>

struct ListedEntry
{
    std::string name;      // the name's bytes as the file system gives them
    std::string childPath; // the directory path, "/", the name; nothing normalised
    bool isDirectory = false;
};

struct DirectoryListing
{
    bool opened = false;
    std::vector<ListedEntry> entries; // in the order the file system returns them
};

// Lists the entries of one directory other than "." and "..". A directory
// that cannot be opened gives no entries and `opened` false; an error part
// way through ends the listing with the entries read so far.
//
// The walks do not use it: they read each directory once, relative to its
// parent, with DirectoryReader.
DirectoryListing listDirectory(const std::string &directoryPath);
