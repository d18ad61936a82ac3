#pragma once

#include "treewalk.h"

#include <cstdint>
#include <iosfwd>
#include <string>

// Counts the folders and files below a root. Each directory that cannot be
// opened writes one error line to the error stream.
class TreeCounter : public TreeVisitor
{
public:
    explicit TreeCounter(std::ostream &errors);

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable() override;

    int fileCount() const { return int(m_files); }
    int folderCount() const { return int(m_folders); }

private:
    std::ostream &m_errors;
    std::uint32_t m_files = 0;
    std::uint32_t m_folders = 0;
};

// Sets `fileCount` and `folderCount` to the numbers of files and folders
// below `path`, whatever they held before. The root is not counted; a
// directory that cannot be opened counts as a folder with nothing in it and
// writes one error line to standard output.
void countFilesAndFolders(const std::string &path, int &fileCount, int &folderCount);
