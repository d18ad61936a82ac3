#pragma once

#include "directoryidentity.h"

#include <sys/types.h>

#include <cstdint>

// Device and inode tell files apart as they tell directories apart.
using FileIdentity = DirectoryIdentity;

// What a walk that reads metadata learns of one entry with one statx: how
// much it holds, how much of the disk it takes, when it last changed, and
// what tells it apart from other names of the same file.
struct EntryMetadata
{
    int error = 0;            // why it could not be read (an errno value); then nothing below holds
    bool throughLink = false; // it describes the target of a symbolic link that was followed
    bool leadsNowhere = false; // a link to be followed that could not be: it describes the link itself
    bool regular = false;     // a regular file, not a directory, link, device, pipe or socket
    std::uint32_t links = 0;  // names the file has
    FileIdentity identity;
    std::uint64_t size = 0;      // apparent size in bytes
    std::uint64_t diskBytes = 0; // space taken on the disk: 512-byte blocks times 512
    bool hasModifiedTime = false;     // a file system may not keep one
    std::int64_t modifiedSeconds = 0; // since the epoch: no map shows finer

    bool readable() const { return error == 0; }
    friend bool operator==(const EntryMetadata &, const EntryMetadata &) = default;
};

// Reads the metadata of the entry `name` of the open directory
// `directoryFd`, following a symbolic link when `follow` is set, and gives
// its file type (the S_IFMT bits of its mode), or 0 with `metadata.error`
// set. A link that is followed but leads nowhere (dangling, a loop of links,
// a target the process may not reach) is described as the link itself, as
// when it is not followed, and gives S_IFLNK; that is the one case that
// takes a second call. The caller, which knows whether the entry is a link,
// sets throughLink and leadsNowhere.
mode_t readEntryMetadata(int directoryFd, const char *name, bool follow, EntryMetadata &metadata);

// The same for a directory that is open as `fd`.
EntryMetadata readOpenedMetadata(int fd);
// The same for `path`, relative to `baseFd`, links followed: for a start
// directory that could not be opened.
EntryMetadata readPathMetadata(int baseFd, const char *path);
