#pragma once

#include "entrytable.h"

#include <functional>
#include <string_view>
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
    // Gives 0 when the whole directory was read, or the error (an errno
    // value) at which reading stopped; the entries read before it stay in
    // the table. With `leadingFile`, the entries before the first directory
    // are not kept but handed to it as they are read, in order.
    int readAll(int directoryFd, EntryTable &table, const std::function<void(std::string_view)> &leadingFile = {});

private:
    std::vector<char> m_buffer;
};
