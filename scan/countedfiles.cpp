#include "countedfiles.h"

#include <algorithm>
#include <tuple>

namespace {

bool comesBefore(const FileIdentity &a, const FileIdentity &b)
{
    return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
}

} // namespace

void CountedFiles::expectLinkTargets(std::vector<FileIdentity> targets)
{
    std::sort(targets.begin(), targets.end(), comesBefore);
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    m_linkTargets = std::move(targets);
}

bool CountedFiles::isLinkTarget(const FileIdentity &identity) const
{
    return !m_linkTargets.empty()
        && std::binary_search(m_linkTargets.begin(), m_linkTargets.end(), identity, comesBefore);
}
