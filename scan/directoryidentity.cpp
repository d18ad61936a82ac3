#include "directoryidentity.h"

#include <sys/stat.h>

bool identifyDirectory(int fd, DirectoryIdentity &identity)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return false;
    identity = {status.st_dev, status.st_ino};
    return true;
}
