#pragma once

#include "directoryreader.h"
#include "entryorder.h"
#include "entrytable.h"
#include "walkrules.h"

#include <cassert>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The listings of the directories on a walk's path, one level each, kept
// one above the other in one table. Of each level's entries, those from
// nextEntry to endEntry are still to be visited, and pendingDirectories of
// them are subdirectories still to be entered or handed over.
class ListingStack
{
public:
    struct Level
    {
        std::size_t firstEntry = 0;
        std::size_t nextEntry = 0;
        std::size_t endEntry = 0;
        std::size_t firstNameByte = 0;
        std::size_t pendingDirectories = 0;
        int readError = 0; // why reading stopped part way (an errno value), or 0
    };

    // Lists each directory as `rules` say (null: all of it, links followed,
    // in the file system's order, no metadata). `startFromRoot` is the path from the root
    // to the walk's start, empty for a walk of the root itself.
    ListingStack(const WalkRules *rules, std::string startFromRoot);

    // Reads the open directory `fd` as a new level: the start, or the
    // subdirectory named by the entry `nameEntry` of the level above. On a
    // kernel pseudo file system (`onPseudoFileSystem`), its links are files,
    // whatever the rules. Unless the entries are sorted, the files listed
    // before its first subdirectory are not kept but handed to `leadingFile`
    // as they are read. An error part way leaves the entries read before it,
    // and is kept as the level's readError.
    void push(int fd, std::size_t nameEntry, bool onPseudoFileSystem, const DirectoryReader::LeadingFile &leadingFile);
    void pop()
    {
        assert(!m_levels.empty());
        m_entries.truncate(m_levels.back().firstEntry, m_levels.back().firstNameByte);
        m_levels.pop_back();
        if (m_rules) {
            m_directoryPath.resize(m_parentPathBytes.back());
            m_parentPathBytes.pop_back();
        }
    }

    std::size_t depth() const { return m_levels.size(); }
    Level &top() { return m_levels.back(); }
    Level &level(std::size_t level) { return m_levels[level]; }
    EntryTable &entries() { return m_entries; }
    const EntryTable &entries() const { return m_entries; }

private:
    int readUnderRules(int fd, std::size_t nameEntry, bool linksAsFiles,
                       const DirectoryReader::LeadingFile &leadingFile);

    EntryTable m_entries;
    DirectoryReader m_reader;
    EntrySorter m_sorter;
    std::vector<Level> m_levels;
    const WalkRules *const m_rules; // null where they change no listing
    const std::string m_startFromRoot;
    std::string m_directoryPath; // of the top level from the root, "/" before each name, where exclusions need it
    std::vector<std::size_t> m_parentPathBytes; // under rules: per level, its path's length before its name
};
