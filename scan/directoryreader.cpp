#include "directoryreader.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t bufferSize = 64 * 1024;

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Whether an entry whose type alone does not tell is a directory, and if so
// which one.
bool isDirectoryByStat(int directoryFd, const char *name, DirectoryIdentity &identity)
{
    struct stat status;
    if (::fstatat(directoryFd, name, &status, 0) != 0 || !S_ISDIR(status.st_mode))
        return false;
    identity = {status.st_dev, status.st_ino};
    return true;
}

} // namespace

DirectoryReader::DirectoryReader()
    : m_buffer(bufferSize)
{
}

int DirectoryReader::readAll(int directoryFd, EntryTable &table, const std::function<void(std::string_view)> &leadingFile)
{
    bool keepAll = !leadingFile;
    for (;;) {
        const ssize_t filled = ::getdents64(directoryFd, m_buffer.data(), m_buffer.size());
        if (filled == 0)
            return 0;
        if (filled < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t offset = 0; offset < filled;) {
            const auto *record = reinterpret_cast<const struct dirent64 *>(m_buffer.data() + offset);
            offset += record->d_reclen;
            const char *name = record->d_name;
            if (isDotOrDotDot(name))
                continue;
            bool isDirectory = false;
            bool hasIdentity = false;
            DirectoryIdentity identity;
            switch (record->d_type) {
            case DT_DIR:
                isDirectory = true;
                identity.inode = record->d_ino; // the directory's own, unless something is mounted on it
                break;
            case DT_REG:
            case DT_CHR:
            case DT_BLK:
            case DT_FIFO:
            case DT_SOCK:
                break;
            default: // links and file systems that do not report types
                isDirectory = hasIdentity = isDirectoryByStat(directoryFd, name, identity);
                break;
            }
            const std::string_view entryName(name, std::strlen(name));
            keepAll = keepAll || isDirectory;
            if (!keepAll) {
                leadingFile(entryName);
                continue;
            }
            EntryRecord &entry = table.append(entryName);
            entry.isDirectory = isDirectory;
            entry.hasIdentity = hasIdentity;
            entry.identity = identity;
        }
    }
}
