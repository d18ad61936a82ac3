#pragma once

#include "entrymetadata.h"

#include <unordered_set>
#include <vector>

// Which files a tally has counted, so that each is counted once, at the
// first place in the tree where it is met. Only what can be met more than
// once is held: files with several links, and whatever a followed link
// leads to (which the recording names before the tally begins), where the
// link is and where the target is met. A directory has one name of its own,
// so any other is a link's: one that no followed link leads to is met once,
// as is a file with one link and no link to it, and neither is held.
class CountedFiles
{
public:
    void expectLinkTargets(std::vector<FileIdentity> targets);

    // Whether the entry, whose metadata was read, is met for the first time;
    // it counts as met from then on.
    bool firstMeeting(const EntryMetadata &metadata, bool isDirectory)
    {
        const bool severalNames = !isDirectory && metadata.links > 1;
        if (!severalNames && !metadata.throughLink && !isLinkTarget(metadata.identity))
            return true;
        return m_met.insert(metadata.identity).second;
    }

private:
    bool isLinkTarget(const FileIdentity &identity) const;

    // A hash, not a sorted list: every file with one link is looked up here.
    std::unordered_set<FileIdentity, DirectoryIdentityHash> m_linkTargets;
    std::unordered_set<FileIdentity, DirectoryIdentityHash> m_met;
};
