#pragma once

#include "treevisitor.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iosfwd>
#include <string>

// Counts the folders and files below a root. Each directory that cannot be
// opened writes one error line to the error stream.
class TreeCounter : public TreeVisitor
{
public:
    // Counts beyond `limit` are not held: overflowed() tells of them.
    explicit TreeCounter(std::ostream &errors, std::uint64_t limit = INT_MAX);

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable(int error) override;
    void directoryNotEntered(NotEnteredReason reason) override;
    void rootMetadata(const EntryMetadata &metadata) override { m_unreadableMetadata += !metadata.readable(); }
    void entryMetadata(const EntryMetadata &metadata) override { m_unreadableMetadata += !metadata.readable(); }

    int fileCount() const { return int(std::min(m_files, m_limit)); }
    int folderCount() const { return int(std::min(m_folders, m_limit)); }
    bool overflowed() const { return m_files > m_limit || m_folders > m_limit; }
    std::uint64_t unreadableCount() const { return m_unreadable; }
    // Entries, the root among them, whose metadata the walk could not read;
    // no error line is written for them.
    std::uint64_t unreadableMetadataCount() const { return m_unreadableMetadata; }
    // Directories not entered because they are on another file system.
    std::uint64_t otherFileSystemCount() const { return m_otherFileSystems; }

private:
    std::ostream &m_errors;
    const std::uint64_t m_limit;
    std::uint64_t m_files = 0;
    std::uint64_t m_folders = 0;
    std::uint64_t m_unreadable = 0;
    std::uint64_t m_otherFileSystems = 0;
    std::uint64_t m_unreadableMetadata = 0;
};

// Sets `fileCount` and `folderCount` to the numbers of files and folders
// below `path`, whatever they held before. The root is not counted; a
// directory that cannot be opened counts as a folder with nothing in it and
// writes one error line to standard output.
//
// The program lists the tree once with scanTree (treescan.h) and counts the
// recording with a TreeCounter (see MapJob).
void countFilesAndFolders(const std::string &path, int &fileCount, int &folderCount);
