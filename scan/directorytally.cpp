#include "directorytally.h"

#include <algorithm>
#include <cassert>
#include <cerrno>

DirectoryTally::DirectoryTally()
{
    m_counts.emplace_back();
    m_open.push_back({0, 0, 0});
}

void DirectoryTally::file(std::string_view)
{
    if (m_sizes.file())
        m_filesAddingNothing.push_back(std::uint32_t(m_files));
    ++m_files;
}

bool DirectoryTally::addedNothing(std::size_t file) const
{
    return std::binary_search(m_filesAddingNothing.begin(), m_filesAddingNothing.end(), std::uint32_t(file));
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

void DirectoryTally::entryMetadata(const EntryMetadata &metadata)
{
    m_sizes.entry(metadata);
    const std::uint32_t parent = m_open.back().directory;
    if (metadata.error == EACCES && (m_unsearchable.empty() || m_unsearchable.back() != parent))
        m_unsearchable.push_back(parent);
}

bool DirectoryTally::unsearchable(std::size_t directory) const
{
    return std::binary_search(m_unsearchable.begin(), m_unsearchable.end(), std::uint32_t(directory));
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
    // A directory's entries come on both sides of its subdirectories'.
    std::sort(m_unsearchable.begin(), m_unsearchable.end());
    m_unsearchable.erase(std::unique(m_unsearchable.begin(), m_unsearchable.end()), m_unsearchable.end());
}

void DirectoryTally::close()
{
    const Open &open = m_open.back();
    m_counts[open.directory] = {std::uint32_t(m_folders - open.foldersBefore), std::uint32_t(m_files - open.filesBefore)};
    m_open.pop_back();
}
