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
    // Takes the entries listed before a directory's first subdirectory, in
    // order, with their metadata where it is read (else null), and whether
    // the exclusions left the entry out (then it has no metadata).
    using LeadingFile = std::function<void(std::string_view name, const EntryMetadata *metadata, bool excluded)>;

    DirectoryReader();

    // Appends every entry of the open directory `directoryFd` except "." and
    // "..", in the order the file system returns them. Whether an entry is a
    // directory follows symbolic links; the entry's type answers where it can,
    // and only links and entries of unknown type are looked up with fstatat.
    // Gives 0 when the whole directory was read, or the error (an errno
    // value) at which reading stopped; the entries read before it stay in
    // the table. With `leadingFile`, the entries before the first directory
    // are not kept but handed to it as they are read, in order.
    int readAll(int directoryFd, EntryTable &table, const LeadingFile &leadingFile = {});
    // The same under `rules`: where they do not follow links, a link is not a
    // directory and is never looked up; the entries their exclusions name are
    // left out, and counted there, unless they are to be listed: then each is
    // kept as a file marked excluded. `directoryPath` is the directory's path
    // from the root with "/" in front of each name ("" for the root), which
    // only exclusions by path read. The order stays the file system's.
    // Where they read metadata, every entry kept is described by one statx,
    // kept beside it in the table, which also tells whether a link or an
    // entry of unknown type is a directory, and gives a directory its
    // identity; an excluded entry is described only where a pattern for
    // directories needs to know.
    int readAll(int directoryFd, EntryTable &table, const WalkRules &rules, std::string_view directoryPath,
                const LeadingFile &leadingFile);

private:
    // A directory whose entries are all kept and that fills the buffer at
    // the first read is taken for a large one: the table is made room for at
    // once.
    template <bool withMetadata, typename Classify>
    int read(int directoryFd, EntryTable &table, const LeadingFile &leadingFile, Classify &&classify);
    template <bool withMetadata>
    int readUnderRules(int directoryFd, EntryTable &table, const WalkRules &rules, std::string_view directoryPath,
                       const LeadingFile &leadingFile);

    std::vector<char> m_buffer;
    std::string m_entryPath; // for the path of the entry an exclusion looks at
    EntryMetadata m_metadata; // of the entry being read, where metadata is read
};
