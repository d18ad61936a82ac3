#pragma once

#include "directoryopener.h"
#include "scopeddescriptor.h"
#include "walkpath.h"

#include <atomic>
#include <cstddef>
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
    // minimumWalkDescriptors.
    PathDescriptors(const WalkPath &path, std::size_t budget, const std::atomic<bool> *stop);

    DirectoryOpener &opener() { return m_opener; }

    // Before a new level is read: the top gives up its descriptor unless it
    // wants it.
    void descend();
    // The new top's descriptor; `wanted` while the level has subdirectories to open.
    void push(ScopedDescriptor fd, bool wanted);
    // Removes the top level and gives its descriptor, which may not be open.
    ScopedDescriptor pop();
    // After pop(): the new top takes its descriptor back through ".." of
    // the level just left, `child`, if it will want it and that leads to it.
    void restoreThroughChild(const ScopedDescriptor &child);
    // The level has no subdirectory left to open.
    void noLongerWanted(std::size_t level);

    // The level's descriptor, reopened by path when it was given up. Gives
    // -1, with errno set, when that fails or leads somewhere else than before.
    int descriptorOf(std::size_t level);

private:
    struct Level
    {
        ScopedDescriptor fd;
        bool wanted = false;
        bool stranded() const { return wanted && !fd.isValid(); }
    };

    bool needsDescriptor(std::size_t level) const;
    void keep(std::size_t level, ScopedDescriptor fd);
    ScopedDescriptor take(std::size_t level);
    void release(std::size_t level);
    bool giveBackOneExcept(int inUse);
    std::size_t thinningCandidate(std::size_t justOpened) const;
    template <typename Change>
    void change(std::size_t level, Change &&change);

    const WalkPath &m_path;
    std::size_t m_budget;
    DirectoryOpener m_opener;
    std::vector<Level> m_levels;
    std::vector<std::size_t> m_open; // levels holding a descriptor, shallowest first
    std::size_t m_stranded = 0;      // levels for which stranded() holds
};
