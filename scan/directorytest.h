#pragma once

#include <string>

// True when the path names an existing directory, following symbolic links.
// The path is used up to its first zero byte.
bool isDirectory(const std::string &path);

// Why the path does not name an existing directory: the system's error
// number (ENOTDIR for something else that exists), or 0 when it does.
int directoryTestError(const std::string &path);
