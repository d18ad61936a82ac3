#include "directorytally.h"

#include <algorithm>
#include <cassert>

DirectoryTally::DirectoryTally()
{
    m_counts.emplace_back();
    m_open.push_back({0, 0, 0});
}

void DirectoryTally::file(std::string_view)
{
    ++m_files;
    m_sizes.file();
}

void DirectoryTally::directoryBegin(std::string_view)
{
    const auto directory = std::uint32_t(m_counts.size());
    m_open.push_back({directory, m_folders + 1, m_files});
    m_counts.emplace_back();
    ++m_folders;
    m_sizes.begin(directory);
}

void DirectoryTally::directoryEnd()
{
    // The root is closed by finish() alone.
    assert(m_open.size() > 1);
    close();
    m_sizes.end();
}

void DirectoryTally::directoryUnreadable(int error)
{
    Reason reason;
    reason.directory = m_open.back().directory;
    reason.error = error;
    m_reasons.push_back(reason);
}

void DirectoryTally::directoryNotEntered(NotEnteredReason why)
{
    Reason reason;
    reason.directory = m_open.back().directory;
    reason.notEntered = true;
    reason.why = why;
    m_reasons.push_back(reason);
    m_sizes.notEntered();
}

void DirectoryTally::finish()
{
    // Only the root is left open after a whole replay.
    assert(m_open.size() == 1);
    while (!m_open.empty())
        close();
    m_sizes.finish();
    // A directory read in part is told of after its subdirectories; the
    // first reason given for a directory stands.
    std::stable_sort(m_reasons.begin(), m_reasons.end(),
                     [](const Reason &a, const Reason &b) { return a.directory < b.directory; });
    m_reasons.erase(std::unique(m_reasons.begin(), m_reasons.end(),
                                [](const Reason &a, const Reason &b) { return a.directory == b.directory; }),
                    m_reasons.end());
}

void DirectoryTally::close()
{
    const Open &open = m_open.back();
    m_counts[open.directory] = {std::uint32_t(m_folders - open.foldersBefore), std::uint32_t(m_files - open.filesBefore)};
    m_open.pop_back();
}
