#pragma once

#include "treevisitor.h"
#include "walkprogress.h"

#include <string>

// Walks the tree below `rootPath` (used up to its first zero byte). A
// directory counts as one when its entry, links followed, is a directory. A
// directory already on the path from the root (a link or mount leading back
// to an ancestor) is begun and ended without being entered again. The walk
// keeps its own stack and only a bounded number of directories open, so no
// tree is too deep for it; it holds no more descriptors than are free when
// it starts. Below a root that is not on a kernel pseudo file system (/proc,
// /sys, ...), a directory on one is begun and ended without being entered.
void walkTree(const std::string &rootPath, TreeVisitor &visitor, const WalkProgress *progress = nullptr);
