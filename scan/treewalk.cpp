#include "treewalk.h"

#include "descriptorbudget.h"
#include "treewalker.h"

#include <fcntl.h>

#include <algorithm>

void walkTree(const std::string &rootPath, TreeVisitor &visitor, const WalkProgress *progress)
{
    const MountPoints mountPoints;
    WalkLimits limits;
    limits.descriptorBudget = std::min(freeDescriptorCount(), mostWalkDescriptors);
    limits.mountPoints = &mountPoints;
    walkFrom({AT_FDCWD, rootPath, {}}, visitor, progress, limits);
}
