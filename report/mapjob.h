#pragma once

#include "treerecording.h"

#include <iosfwd>
#include <string>

// The scanning and assembling of one report, stage by stage, shared by the
// window and the command line so both write the same bytes. The tree is
// listed once, while counting, by several threads at once; mapping visits
// that listing again, which gives what a second walk would give of a tree
// that did not change.
class MapJob
{
public:
    // `errors` receives one line for every directory that cannot be opened.
    MapJob(std::string rootPath, std::ostream &errors);

    // Lists the tree below the root, counts its folders and files and adds
    // the counts.
    void count(const WalkProgress *progress = nullptr);
    // Adds the map heading and the list of the tree.
    void map(bool directoriesOnly, const WalkProgress *progress = nullptr);
    // Closes the document and hands it over.
    std::string finish();

private:
    std::string m_rootPath;
    std::ostream &m_errors;
    TreeRecording m_tree;
    std::string m_report;
    int m_fileCount = 0;
    int m_folderCount = 0;
};
