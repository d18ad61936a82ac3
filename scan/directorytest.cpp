#include "directorytest.h"

#include "directoryopener.h"
#include "scopeddescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

bool isDirectory(const std::string &path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int rootDirectoryError(const std::string &path)
{
    // O_DIRECTORY refuses anything else before opening it, so a FIFO never blocks.
    const ScopedDescriptor root(::open(path.c_str(), directoryOpenFlags));
    return root.isValid() ? 0 : errno;
}
