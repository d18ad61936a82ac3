#include "treewalk.h"

#include "descriptorbudget.h"
#include "treewalker.h"

#include <fcntl.h>

#include <algorithm>
#include <limits>

ProgressCounter::ProgressCounter(const WalkProgress *progress)
    : m_progress(progress && progress->report && progress->interval ? progress : nullptr)
    , m_untilReport(m_progress ? m_progress->interval : std::numeric_limits<std::uint64_t>::max())
{
}

void ProgressCounter::report()
{
    m_untilReport = m_progress->interval;
    m_progress->report(m_seen);
}

void walkTree(const std::string &rootPath, TreeVisitor &visitor, const WalkProgress *progress)
{
    const MountPoints mountPoints;
    WalkLimits limits;
    limits.descriptorBudget = std::min<std::size_t>(freeDescriptorCount(), 32);
    limits.mountPoints = &mountPoints;
    walkFrom({AT_FDCWD, rootPath, {}}, visitor, progress, limits);
}
