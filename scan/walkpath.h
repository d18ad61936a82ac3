#pragma once

#include "directoryidentity.h"
#include "entrytable.h"
#include "filesystemtraits.h"

#include <cassert>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The directories from a walk's start down to the one it is reading, which
// are its levels (the start is level 0), and those above the start: what
// tells a loop, and the names by which the walk finds its way back to a
// level. A level's name is an entry in its parent's listing.
class WalkPath
{
public:
    // The walk starts at `startPath` (used up to its first zero byte),
    // relative to `baseFd`, below `ancestors` (from the root down).
    WalkPath(int baseFd, std::string startPath, std::vector<DirectoryIdentity> ancestors, const EntryTable &entries);

    void push(const DirectoryIdentity &identity, const FileSystemTraits &traits, std::size_t nameEntry)
    {
        const std::size_t pathBytes = m_levels.empty()
            ? m_startPath.size()
            : m_levels.back().pathBytes + 1 + m_entries[nameEntry].nameLength;
        m_levels.push_back({identity, traits, nameEntry, pathBytes});
        // A directory already on the path is a loop, never entered again.
        [[maybe_unused]] const bool added = m_onPath.insert(identity).second;
        assert(added);
    }
    void pop()
    {
        [[maybe_unused]] const std::size_t removed = m_onPath.erase(m_levels.back().identity);
        assert(removed == 1);
        m_levels.pop_back();
    }

    std::size_t depth() const { return m_levels.size(); }
    bool contains(const DirectoryIdentity &identity) const { return m_onPath.count(identity) > 0; }
    const DirectoryIdentity &identity(std::size_t level) const { return m_levels[level].identity; }
    // Of the level's file system: whether its listing gives its
    // subdirectories' own inodes, whether it is a kernel pseudo one.
    const FileSystemTraits &traits(std::size_t level) const { return m_levels[level].traits; }
    // Length of the path from the start's base to the level.
    std::size_t pathBytes(std::size_t level) const { return m_levels[level].pathBytes; }
    // Of a level below the start.
    std::string_view name(std::size_t level) const { return m_entries.name(m_entries[m_levels[level].nameEntry]); }

    int baseFd() const { return m_baseFd; }
    const std::string &startPath() const { return m_startPath; }
    const std::vector<DirectoryIdentity> &ancestors() const { return m_ancestors; }

    // The ancestors and the levels down to `level`.
    std::vector<DirectoryIdentity> identitiesThrough(std::size_t level) const;
    // The path from the start to the entry `name` of `level`.
    std::string pathFromStart(std::size_t level, std::string_view name) const;

private:
    struct Level
    {
        DirectoryIdentity identity;
        FileSystemTraits traits;
        std::size_t nameEntry = 0;
        std::size_t pathBytes = 0;
    };

    const int m_baseFd;
    const std::string m_startPath;
    const std::vector<DirectoryIdentity> m_ancestors;
    const EntryTable &m_entries;
    std::vector<Level> m_levels;
    // The identities of the ancestors and of the levels, always: a directory
    // is on the path exactly when it is here.
    std::unordered_set<DirectoryIdentity, DirectoryIdentityHash> m_onPath;
};
