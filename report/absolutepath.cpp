#include "absolutepath.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

std::string absolutePath(std::string_view path)
{
    if (!path.empty() && path.front() == '/')
        return std::string(path);
    std::unique_ptr<char, decltype(&::free)> here(::getcwd(nullptr, 0), &::free);
    std::string absolute = here ? here.get() : ".";
    if (absolute.back() != '/')
        absolute.push_back('/');
    return absolute.append(path);
}
