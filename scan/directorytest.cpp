#include "directorytest.h"

#include <sys/stat.h>

#include <cerrno>

bool isDirectory(const std::string &path)
{
    return directoryTestError(path) == 0;
}

int directoryTestError(const std::string &path)
{
    struct stat status;
    if (::stat(path.c_str(), &status) != 0)
        return errno;
    return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
}
