#include "scratchdirectory.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

ScratchDirectory::ScratchDirectory()
{
    QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/velmora-test-XXXXXX";
    if (::mkdtemp(pattern.data()))
        m_path = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    if (isValid())
        removeTree(m_path);
}

namespace {

// Removes the non-directories in `fd` and gives the name of one remaining
// subdirectory, or an empty name when there is none.
bool clearFilesAndFindSubdirectory(int fd, std::string &subdirectory)
{
    subdirectory.clear();
    ::fchmod(fd, 0700);
    DIR *stream = ::fdopendir(::dup(fd));
    if (!stream)
        return false;
    ::rewinddir(stream);
    while (const dirent *entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status;
        if (::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode)) {
            if (subdirectory.empty())
                subdirectory = name;
        } else {
            ::unlinkat(fd, name.c_str(), 0);
        }
    }
    ::closedir(stream);
    return true;
}

} // namespace

bool removeTree(const QByteArray &path)
{
    ::chmod(path.constData(), 0700);
    int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::vector<std::string> trail; // names from `path` down to the directory `fd` is
    std::string subdirectory;
    for (;;) {
        if (!clearFilesAndFindSubdirectory(fd, subdirectory))
            break;
        if (!subdirectory.empty()) {
            constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            int child = ::openat(fd, subdirectory.c_str(), flags);
            // A directory a test locked is unlocked to be removed.
            if (child < 0 && errno == EACCES && ::fchmodat(fd, subdirectory.c_str(), 0700, 0) == 0)
                child = ::openat(fd, subdirectory.c_str(), flags);
            if (child < 0)
                break;
            ::close(fd);
            fd = child;
            trail.push_back(subdirectory);
            continue;
        }
        if (trail.empty())
            break;
        const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (parent < 0)
            return false;
        fd = parent;
        ::unlinkat(fd, trail.back().c_str(), AT_REMOVEDIR);
        trail.pop_back();
    }
    ::close(fd);
    return ::rmdir(path.constData()) == 0;
}
