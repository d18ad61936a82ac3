#pragma once

#include <string>
#include <string_view>

// `path` made absolute against the working directory, its links kept as
// they are; "./" before it where the working directory cannot be named.
std::string absolutePath(std::string_view path);
