#pragma once

#include "descriptorbudget.h"
#include "directoryidentity.h"
#include "mountpoints.h"
#include "subtreehandover.h"
#include "treevisitor.h"
#include "walkprogress.h"
#include "walkrules.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

// Walks the tree below `rootPath` (used up to its first zero byte). A
// directory counts as one when its entry, links followed, is a directory. A
// directory already on the path from the root (a link or mount leading back
// to an ancestor) is begun and ended without being entered again. The walk
// keeps its own stack and only a bounded number of directories open, so no
// tree is too deep for it; it holds no more descriptors than are free when
// it starts. Below a root that is not on a kernel pseudo file system (/proc,
// /sys, ...), a directory on one is begun and ended without being entered;
// below a root on one, the links of its directories are files, never
// followed, whatever the rules.
//
// With `rules`, the walk enters, lists and orders as they say.
//
// The program itself lists a tree with scanTree (treescan.h), on several
// threads, and visits the recording; this walk on the calling thread is
// what the scan's pieces are checked against.
void walkTree(const std::string &rootPath, TreeVisitor &visitor, const WalkProgress *progress = nullptr,
              const WalkRules *rules = nullptr);

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
    std::size_t descriptorBudget = mostWalkDescriptors; // held at once, at least minimumWalkDescriptors
    SubtreeSink *sink = nullptr;                        // takes subdirectories when others want work
    // Where listed inodes may not be directories' own; without, every
    // directory is asked for its identity.
    const MountPoints *mountPoints = nullptr;
    const std::atomic<bool> *stop = nullptr; // when set, the walk gives up as soon as it sees it
    const WalkRules *rules = nullptr;        // what is entered, listed and in which order; none: all, as listed
};

// Walks the tree below `start`, reporting to `visitor` as walkTree does. A
// start directory that is one of its ancestors, a pseudo file system not to
// be entered, or on another file system where the walk stays on the root's,
// is not entered: the visitor is told why, and nothing else.
//
// Running out of descriptors is never taken for an unreadable directory:
// the walk gives back what it holds and tries again, and throws
// std::system_error only when none can be had for a long while.
void walkFrom(WalkStart start, TreeVisitor &visitor, const WalkProgress *progress, const WalkLimits &limits);
