#pragma once

#include "entrytable.h"
#include "walkrules.h"

#include <functional>
#include <string>
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
    // The same under `rules`: where they do not follow links, a link is not a
    // directory and is never looked up; the entries their exclusions name are
    // left out, and counted there. `directoryPath` is the directory's path
    // from the root with "/" in front of each name ("" for the root), which
    // only exclusions by path read. The order stays the file system's.
    int readAll(int directoryFd, EntryTable &table, const WalkRules &rules, std::string_view directoryPath,
                const std::function<void(std::string_view)> &leadingFile);

private:
    // A directory whose entries are all kept and that fills the buffer at
    // the first read is taken for a large one: the table is made room for at
    // once.
    template <typename Classify>
    int read(int directoryFd, EntryTable &table, const std::function<void(std::string_view)> &leadingFile,
             Classify &&classify);

    std::vector<char> m_buffer;
    std::string m_entryPath; // for the path of the entry an exclusion looks at
};
