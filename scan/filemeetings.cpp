#include "filemeetings.h"

void FileMeetings::expectLinkTargets(std::vector<FileIdentity> targets)
{
    m_linkTargets = std::unordered_set<FileIdentity, DirectoryIdentityHash>(targets.begin(), targets.end());
}
