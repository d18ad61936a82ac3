#include "countedfiles.h"

void CountedFiles::expectLinkTargets(std::vector<FileIdentity> targets)
{
    m_linkTargets = std::unordered_set<FileIdentity, DirectoryIdentityHash>(targets.begin(), targets.end());
}

bool CountedFiles::isLinkTarget(const FileIdentity &identity) const
{
    return !m_linkTargets.empty() && m_linkTargets.count(identity) != 0;
}
