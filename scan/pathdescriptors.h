#pragma once

#include "directoryopener.h"
#include "scopeddescriptor.h"
#include "walkpath.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <functional>
#include <vector>

// The descriptors a walk holds on the levels of its path, within a budget.
// The top level keeps its own while it is the top; a level below keeps its
// own only while it still wants it, to open subdirectories, and only as far
// as the budget allows: when it is exceeded, descriptors are given up where
// they leave the shortest stretch of path between open ones. A level that
// wants its descriptor and holds none is stranded; it gets it back on the
// way up, through ".." of the child just left, or else by its path from the
// nearest open ancestor.
class PathDescriptors
{
public:
    // Descriptors are opened from the path's base. `budget` is at least
    // minimumWalkDescriptors. `followLinks` is the opener's.
    PathDescriptors(const WalkPath &path, std::size_t budget, const std::atomic<bool> *stop, bool followLinks);

    DirectoryOpener &opener() { return m_opener; }

    // Before a new level is read: the top gives up its descriptor unless it
    // wants it.
    void descend()
    {
        if (!m_levels.empty() && !m_levels.back().wanted)
            release(m_levels.size() - 1);
    }
    // The new top's descriptor; `wanted` while the level has subdirectories to open.
    void push(ScopedDescriptor fd, bool wanted)
    {
        m_levels.emplace_back();
        change(m_levels.size() - 1, [wanted](Level &level) { level.wanted = wanted; });
        keep(m_levels.size() - 1, std::move(fd));
    }
    // Removes the top level and gives its descriptor, which may not be open.
    ScopedDescriptor pop()
    {
        ScopedDescriptor own = take(m_levels.size() - 1);
        change(m_levels.size() - 1, [](Level &level) { level.wanted = false; });
        m_levels.pop_back();
        // The count was kept exact all the way: nothing is left of it.
        assert(!m_levels.empty() || (m_stranded == 0 && m_open.empty()));
        return own;
    }
    // After pop(): the new top takes its descriptor back through ".." of
    // the level just left, `child`, if it will want it and that leads to it.
    void restoreThroughChild(const ScopedDescriptor &child)
    {
        if (!m_levels.back().fd.isValid() && child.isValid() && needsDescriptor(m_levels.size() - 1))
            reopenThroughChild(child);
    }
    // The level has no subdirectory left to open.
    void noLongerWanted(std::size_t level)
    {
        change(level, [](Level &changed) { changed.wanted = false; });
    }

    // The level's descriptor, reopened by path when it was given up. Gives
    // -1, with errno set, when that fails or leads somewhere else than before.
    int descriptorOf(std::size_t level)
    {
        return m_levels[level].fd.isValid() ? m_levels[level].fd.get() : reopen(level);
    }

private:
    struct Level
    {
        ScopedDescriptor fd;
        bool wanted = false;
        bool stranded() const { return wanted && !fd.isValid(); }
    };

    // Every change to a level's descriptor or want goes through here, which
    // keeps the stranded count exact.
    template <typename Change>
    void change(std::size_t level, Change &&change)
    {
        assert(m_stranded >= std::size_t(m_levels[level].stranded()));
        m_stranded -= m_levels[level].stranded();
        change(m_levels[level]);
        m_stranded += m_levels[level].stranded();
    }

    bool needsDescriptor(std::size_t level) const;
    void reopenThroughChild(const ScopedDescriptor &child);
    int reopen(std::size_t level);
    // Called only for a level without a descriptor.
    void keep(std::size_t level, ScopedDescriptor fd)
    {
        assert(!m_levels[level].fd.isValid());
        change(level, [&fd](Level &kept) { kept.fd = std::move(fd); });
        m_open.insert(std::lower_bound(m_open.begin(), m_open.end(), level), level);
        assert(std::adjacent_find(m_open.begin(), m_open.end(), std::greater_equal<>()) == m_open.end());
        // One more is always left for the next directory to open.
        if (m_open.size() + 1 > m_budget && m_open.size() > 1)
            thin(level);
        assert(m_open.size() + 1 <= m_budget || m_open.size() == 1);
    }
    ScopedDescriptor take(std::size_t level)
    {
        if (m_levels[level].fd.isValid())
            m_open.erase(std::lower_bound(m_open.begin(), m_open.end(), level));
        ScopedDescriptor fd;
        change(level, [&fd](Level &taken) { fd = std::move(taken.fd); });
        return fd;
    }
    void release(std::size_t level) { take(level).reset(); }
    void thin(std::size_t justOpened);
    bool giveBackOneExcept(int inUse);
    std::size_t thinningCandidate(std::size_t justOpened) const;

    const WalkPath &m_path;
    std::size_t m_budget;
    DirectoryOpener m_opener;
    std::vector<Level> m_levels;
    std::vector<std::size_t> m_open; // levels holding a descriptor, shallowest first
    std::size_t m_stranded = 0;      // levels for which stranded() holds
};
