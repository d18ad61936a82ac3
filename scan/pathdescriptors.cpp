#include "pathdescriptors.h"

#include "descriptorbudget.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <limits>
#include <utility>

PathDescriptors::PathDescriptors(const WalkPath &path, std::size_t budget, const std::atomic<bool> *stop,
                                 bool followLinks)
    : m_path(path)
    , m_budget(std::max(budget, minimumWalkDescriptors))
    , m_opener([this](int inUse) { return giveBackOneExcept(inUse); }, stop, followLinks)
{
}

// Whether a level that has just become the top will want its descriptor:
// to open more subdirectories, or to lead back up to a stranded ancestor.
bool PathDescriptors::needsDescriptor(std::size_t level) const
{
    return m_levels[level].wanted || (m_stranded > 0 && level > 0 && !m_levels[level - 1].fd.isValid());
}

// ".." of the child just left leads back in one step, unless the child was
// reached through a link or a mount, or the tree changed meanwhile.
void PathDescriptors::reopenThroughChild(const ScopedDescriptor &child)
{
    const std::size_t level = m_levels.size() - 1;
    ScopedDescriptor fd(m_opener.open(child.get(), ".."));
    DirectoryIdentity identity;
    if (fd.isValid() && identifyDirectory(fd.get(), identity) && identity == m_path.identity(level))
        keep(level, std::move(fd));
}

int PathDescriptors::reopen(std::size_t level)
{
    // On the way, up to two descriptors are open besides those kept.
    while (!m_open.empty() && m_open.size() + 2 > m_budget)
        release(m_open.front());
    // Find the nearest open ancestor, or else start from the walk's base.
    std::size_t first = level;
    while (first > 0 && !m_levels[first - 1].fd.isValid())
        --first;
    std::vector<std::string_view> names;
    for (std::size_t k = std::max<std::size_t>(first, 1); k <= level; ++k)
        names.push_back(m_path.name(k));
    ScopedDescriptor fd(first == 0 ? m_opener.openChain(m_path.baseFd(), m_path.startPath(), names)
                                   : m_opener.openChain(m_levels[first - 1].fd.get(), std::string(), names));
    DirectoryIdentity identity;
    if (!fd.isValid() || !identifyDirectory(fd.get(), identity))
        return -1;
    if (!(identity == m_path.identity(level))) {
        errno = ENOENT; // what was there has moved away
        return -1;
    }
    keep(level, std::move(fd));
    return m_levels[level].fd.get();
}

void PathDescriptors::thin(std::size_t justOpened)
{
    while (m_open.size() + 1 > m_budget && m_open.size() > 1)
        release(thinningCandidate(justOpened));
}

// Fewer descriptors are free than planned: from here on, no more are held
// than now, and one is given back.
bool PathDescriptors::giveBackOneExcept(int inUse)
{
    m_budget = std::max(minimumWalkDescriptors, m_open.size());
    for (const std::size_t level : m_open) {
        if (m_levels[level].fd.get() != inUse) {
            release(level);
            return true;
        }
    }
    return false;
}

// The open level whose loss leaves the shortest stretch of path between its
// open neighbours, so that open directories stay spread evenly along a deep
// path and no reopening by path has far to go. The deepest open level and
// the one just opened are kept.
std::size_t PathDescriptors::thinningCandidate(std::size_t justOpened) const
{
    std::size_t best = m_open.front();
    std::size_t bestGap = std::numeric_limits<std::size_t>::max();
    for (std::size_t i = 0; i + 1 < m_open.size(); ++i) {
        if (m_open[i] == justOpened)
            continue;
        const std::size_t before = i > 0 ? m_path.pathBytes(m_open[i - 1]) : 0;
        const std::size_t gap = m_path.pathBytes(m_open[i + 1]) - before;
        if (gap < bestGap) {
            bestGap = gap;
            best = m_open[i];
        }
    }
    assert(best != justOpened && best != m_open.back());
    return best;
}
