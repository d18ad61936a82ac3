#pragma once

#include "descriptorbudget.h"
#include "entrytable.h"
#include "mountpoints.h"
#include "treewalk.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

// Takes directories off a walk's hands, to be walked on their own by others.
class SubtreeSink
{
public:
    virtual ~SubtreeSink() = default;
    // Above zero while some walker waits for work: the walk then hands over
    // the subdirectory nearest its start that it has still to enter.
    virtual const std::atomic<int> &wanted() const = 0;
    // Takes a subdirectory of the walk's, by `path` from the walk's start,
    // with `ancestors` from the root down to its parent. Gives a ticket for
    // placeSubtree().
    virtual std::size_t takeSubtree(std::string path, std::vector<DirectoryIdentity> ancestors) = 0;
    // Puts what the walk of the subdirectory found in the place the walk has
    // reached, between the subdirectory's begin and end.
    virtual void placeSubtree(std::size_t ticket) = 0;
};

struct WalkStart
{
    int baseFd;                               // AT_FDCWD, or an open directory the path starts from
    std::string path;                         // the directory to walk, relative to baseFd
    std::vector<DirectoryIdentity> ancestors; // directories above it on the path from the root
    // Below a root, kernel pseudo file systems are not entered unless the
    // root itself is on one. A walk that starts at the root finds out itself.
    bool rootOnPseudoFileSystem = false;
};

// How one walk may go about it.
struct WalkLimits
{
    std::size_t descriptorBudget = mostWalkDescriptors; // descriptors held at once, at least minimumWalkDescriptors
    SubtreeSink *sink = nullptr;       // takes subdirectories when others want work
    // Where listed inodes may not be directories' own; without, every
    // directory is asked for its identity.
    const MountPoints *mountPoints = nullptr;
    const std::atomic<bool> *stop = nullptr; // when set, the walk gives up as soon as it sees it
};

// Walks the tree below `start`, reporting to `visitor` as walkTree does. A
// start directory that is one of its ancestors, or a pseudo file system not
// to be entered, is not entered and reports nothing.
//
// Running out of descriptors is never taken for an unreadable directory:
// the walk gives back what it holds and tries again, and throws
// std::system_error only when none can be had for a long while.
void walkFrom(const WalkStart &start, TreeVisitor &visitor, const WalkProgress *progress, const WalkLimits &limits);
