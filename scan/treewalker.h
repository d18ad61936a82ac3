#pragma once

#include "entrytable.h"
#include "treewalk.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Takes the subdirectories that a walk leaves to be walked on their own.
class SubtreeSink
{
public:
    virtual ~SubtreeSink() = default;
    // `path` leads from the walk's start to the subdirectory, which the walk
    // has begun but not entered; `ancestors` are the directories from the
    // root down to its parent.
    virtual void deferSubtree(std::string path, std::vector<DirectoryIdentity> ancestors) = 0;
};

struct WalkStart
{
    int baseFd;                                // AT_FDCWD, or an open directory the path starts from
    std::string path;                          // the directory to walk, relative to baseFd
    std::vector<DirectoryIdentity> ancestors;  // directories above it on the path from the root
};

// How one walk may go about it.
struct WalkLimits
{
    std::size_t descriptorBudget = 32; // directories held open at once
    std::size_t splitDepth = 0;        // with a sink: subdirectories this deep are deferred
    SubtreeSink *sink = nullptr;
};

// Walks the tree below `start`, reporting to `visitor` as walkTree does. A
// start directory that is one of its ancestors is not entered and reports
// nothing.
void walkFrom(const WalkStart &start, TreeVisitor &visitor, const WalkProgress *progress, const WalkLimits &limits);
