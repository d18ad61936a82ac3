#pragma once

#include <iosfwd>
#include <string>

struct WalkProgress;

// The scanning and assembling of one report, stage by stage, shared by the
// window and the command line so both write the same bytes.
class MapJob
{
public:
    // `errors` receives one line for every directory that cannot be opened.
    MapJob(std::string rootPath, std::ostream &errors);

    // Counts the folders and files below the root and adds the counts.
    void count(const WalkProgress *progress = nullptr);
    // Adds the map heading and the list of the tree.
    void map(bool directoriesOnly, const WalkProgress *progress = nullptr);
    // Closes the document and hands it over.
    std::string finish();

    int fileCount() const { return m_fileCount; }
    int folderCount() const { return m_folderCount; }

private:
    std::string m_rootPath;
    std::ostream &m_errors;
    std::string m_report;
    int m_fileCount = 0;
    int m_folderCount = 0;
};
