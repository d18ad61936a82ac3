#pragma once

#include "entrymetadata.h"

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Where the tally last met each file that can be met more than once, and
// where its own names are. Only such files are held: every directory (a link
// or a mount may show it again, and either way it is the same device and
// inode), files with several links, and whatever a followed link leads to
// (which the recording names before the tally begins), where the link is and
// where the target is met. A file with one link and no link to it is met
// once, in the one directory that holds its name, and is not held.
//
// Places are the numbers DirectoryTally gives directories, in the order a
// replay begins them.
class FileMeetings
{
public:
    struct Meeting
    {
        std::uint32_t lastPlace = 0; // the directory it was last met in (a directory: itself)
        std::uint32_t ownNames = 0;  // names met that delete it (none through a followed link)
        std::uint32_t namesPlace = 0; // the innermost directory holding all of those names
    };

    void expectLinkTargets(std::vector<FileIdentity> targets);

    // Whether the entry, whose metadata was read, can be met more than once.
    bool held(const EntryMetadata &metadata, bool isDirectory) const
    {
        return isDirectory || metadata.links > 1 || metadata.throughLink || isLinkTarget(metadata.identity);
    }
    // The meeting of a held entry; `first` tells whether it had none before.
    Meeting &meet(const FileIdentity &identity, bool &first)
    {
        const auto [place, inserted] = m_met.try_emplace(identity);
        first = inserted;
        return place->second;
    }
    bool metBefore(const FileIdentity &identity) const { return m_met.count(identity) != 0; }

private:
    bool isLinkTarget(const FileIdentity &identity) const
    {
        return !m_linkTargets.empty() && m_linkTargets.count(identity) != 0;
    }

    // A hash, not a sorted list: every file with one link is looked up here.
    std::unordered_set<FileIdentity, DirectoryIdentityHash> m_linkTargets;
    std::unordered_map<FileIdentity, Meeting, DirectoryIdentityHash> m_met;
};
