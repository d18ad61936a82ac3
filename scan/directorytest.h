#pragma once

#include <string>

// True when the path names an existing directory, following symbolic links.
// The path is used up to its first zero byte.
bool isDirectory(const std::string &path);

// Why the tree below the path cannot be mapped: the system's error number
// when the path does not name an existing directory (ENOTDIR for something
// else that exists) or the directory cannot be opened for reading; 0 when it
// can. A root that cannot be read would otherwise look like an empty tree.
int rootDirectoryError(const std::string &path);
