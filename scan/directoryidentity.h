#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Device and inode of a directory: what tells two directories apart,
// whatever names lead to them.
struct DirectoryIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const DirectoryIdentity &, const DirectoryIdentity &) = default;
};

struct DirectoryIdentityHash
{
    std::size_t operator()(const DirectoryIdentity &identity) const
    {
        return std::size_t(std::uint64_t(identity.inode) * 0x9E3779B97F4A7C15ULL ^ std::uint64_t(identity.device));
    }
};

// The identity of the open directory `fd`; false, with errno set, when it
// cannot be had.
bool identifyDirectory(int fd, DirectoryIdentity &identity);
