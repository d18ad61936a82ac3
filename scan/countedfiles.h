#pragma once

#include "entrymetadata.h"

#include <unordered_set>
#include <vector>

// Which files a tally has counted, so that each is counted once, at the
// first place in the tree where it is met. Only what can be met more than
// once is held: every directory (a link or a mount may show it again, and
// either way it is the same device and inode), files with several links, and
// whatever a followed link leads to (which the recording names before the
// tally begins), where the link is and where the target is met. A file with
// one link and no link to it is met once, and is not held.
class CountedFiles
{
public:
    void expectLinkTargets(std::vector<FileIdentity> targets);

    // Whether the entry, whose metadata was read, is met for the first time;
    // it counts as met from then on.
    bool firstMeeting(const EntryMetadata &metadata, bool isDirectory)
    {
        const bool severalNames = !isDirectory && metadata.links > 1;
        if (!isDirectory && !severalNames && !metadata.throughLink && !isLinkTarget(metadata.identity))
            return true;
        return m_met.insert(metadata.identity).second;
    }
    // Takes back a first meeting: a directory not entered was not met.
    void forget(const FileIdentity &identity) { m_met.erase(identity); }

private:
    bool isLinkTarget(const FileIdentity &identity) const;

    // A hash, not a sorted list: every file with one link is looked up here.
    std::unordered_set<FileIdentity, DirectoryIdentityHash> m_linkTargets;
    std::unordered_set<FileIdentity, DirectoryIdentityHash> m_met;
};
