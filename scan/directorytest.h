#pragma once

#include <string>

// True when the path names an existing directory, following symbolic links.
// The path is used up to its first zero byte.
bool isDirectory(const std::string &path);
