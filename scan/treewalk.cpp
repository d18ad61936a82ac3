#include "treewalk.h"

#include "treewalker.h"

#include <fcntl.h>

void walkTree(const std::string &rootPath, TreeVisitor &visitor, const WalkProgress *progress)
{
    walkFrom({AT_FDCWD, rootPath, {}}, visitor, progress, {});
}
