#pragma once

#include "entrytable.h"

#include <vector>

// Reads whole directories with getdents64 through one reused buffer.
class DirectoryReader
{
public:
    DirectoryReader();

    // Appends every entry of the open directory `directoryFd` except "." and
    // "..", in the order the file system returns them. Whether an entry is a
    // directory follows symbolic links; the entry's type answers where it can,
    // and only links and entries of unknown type are looked up with fstatat.
    // Returns false when reading stopped at an error; the entries read before
    // it stay in the table.
    bool readAll(int directoryFd, EntryTable &table);

private:
    std::vector<char> m_buffer;
};
