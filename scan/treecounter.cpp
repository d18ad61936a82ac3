#include "treecounter.h"

#include "treewalk.h"

#include <iostream>

TreeCounter::TreeCounter(std::ostream &errors, std::uint64_t limit)
    : m_errors(errors)
    , m_limit(std::min<std::uint64_t>(limit, INT_MAX))
{
}

void TreeCounter::file(std::string_view)
{
    ++m_files;
}

void TreeCounter::directoryBegin(std::string_view)
{
    ++m_folders;
}

void TreeCounter::directoryEnd()
{
}

void TreeCounter::directoryUnreadable(int)
{
    ++m_unreadable;
    m_errors << "ERROR: Invalid File Path In Count Num Files and Folders Function" << std::endl;
}

void TreeCounter::directoryNotEntered(NotEnteredReason reason)
{
    m_otherFileSystems += reason == NotEnteredReason::OtherFileSystem;
}

void countFilesAndFolders(const std::string &path, int &fileCount, int &folderCount)
{
    TreeCounter counter(std::cout);
    walkTree(path, counter);
    fileCount = counter.fileCount();
    folderCount = counter.folderCount();
}
