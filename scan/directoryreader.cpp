#include "directoryreader.h"

#include "exclusionrules.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t bufferSize = 64 * 1024;
// Enough that the table's memory comes from huge pages.
constexpr std::size_t roomForLargeRecords = hugePageBytes / sizeof(EntryRecord);
constexpr std::size_t roomForLargeNameBytes = hugePageBytes;

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// What the directory test says of one entry.
struct Listed
{
    bool excluded = false; // kept only to be named
    bool isDirectory = false;
    bool hasIdentity = false; // identity is the one stat gives
    DirectoryIdentity identity;
};

// Whether an entry whose type alone does not tell is a directory, and if so
// which one. `flags` are fstatat's: 0 follows a link, AT_SYMLINK_NOFOLLOW not.
void lookUp(int directoryFd, const char *name, int flags, Listed &listed)
{
    struct stat status;
    if (::fstatat(directoryFd, name, &status, flags) != 0 || !S_ISDIR(status.st_mode))
        return;
    listed.isDirectory = listed.hasIdentity = true;
    listed.identity = {status.st_dev, status.st_ino};
}

// Describes an entry with one statx, which also tells, for a link followed
// and an entry of unknown type, whether it is a directory, and gives a
// directory its identity.
void describe(int directoryFd, const struct dirent64 *record, bool followLinks, Listed &listed, EntryMetadata &metadata)
{
    const bool typeUntold = record->d_type == DT_LNK || record->d_type == DT_UNKNOWN;
    const bool follow = followLinks && typeUntold;
    const mode_t type = readEntryMetadata(directoryFd, record->d_name, follow, metadata);
    // Of an entry of unknown type, the listing cannot tell whether it was a link.
    metadata.throughLink = follow && record->d_type == DT_LNK && type != 0 && type != S_IFLNK;
    metadata.leadsNowhere = follow && type == S_IFLNK;
    if (typeUntold)
        listed.isDirectory = type == S_IFDIR;
    if (listed.isDirectory && type == S_IFDIR) {
        listed.hasIdentity = true;
        listed.identity = metadata.identity;
    }
}

// What the entry's type tells; false when only a look-up can tell.
bool listedByType(const struct dirent64 *record, bool followLinks, Listed &listed)
{
    switch (record->d_type) {
    case DT_DIR:
        listed.isDirectory = true;
        listed.identity.inode = record->d_ino; // the directory's own, unless something is mounted on it
        return true;
    case DT_REG:
    case DT_CHR:
    case DT_BLK:
    case DT_FIFO:
    case DT_SOCK:
        return true;
    case DT_LNK:
        return !followLinks;
    default: // file systems that do not report types
        return false;
    }
}

} // namespace

DirectoryReader::DirectoryReader()
    : m_buffer(bufferSize)
{
}

template <bool withMetadata, typename Classify>
int DirectoryReader::read(int directoryFd, EntryTable &table, const LeadingFile &leadingFile, Classify &&classify)
{
    bool keepAll = !leadingFile;
    for (bool first = true;; first = false) {
        const ssize_t filled = ::getdents64(directoryFd, m_buffer.data(), m_buffer.size());
        if (filled == 0)
            return 0;
        if (filled < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        // Grown bit by bit, the table would take its first two mebibytes in
        // small pages, one dear fault each.
        if (first && keepAll && std::size_t(filled) > m_buffer.size() / 2)
            table.reserve(roomForLargeRecords, roomForLargeNameBytes, withMetadata);
        for (ssize_t offset = 0; offset < filled;) {
            const auto *record = reinterpret_cast<const struct dirent64 *>(m_buffer.data() + offset);
            offset += record->d_reclen;
            const char *name = record->d_name;
            if (isDotOrDotDot(name))
                continue;
            const std::string_view entryName(name, std::strlen(name));
            Listed listed;
            if (!classify(record, entryName, listed))
                continue;
            keepAll = keepAll || listed.isDirectory;
            if (!keepAll) {
                leadingFile(entryName, withMetadata && !listed.excluded ? &m_metadata : nullptr, listed.excluded);
                continue;
            }
            EntryRecord &entry = withMetadata ? table.append(entryName, m_metadata) : table.append(entryName);
            entry.excluded = listed.excluded;
            entry.isDirectory = listed.isDirectory;
            entry.hasIdentity = listed.hasIdentity;
            entry.identity = listed.identity;
        }
    }
}

int DirectoryReader::readAll(int directoryFd, EntryTable &table, const LeadingFile &leadingFile)
{
    return read<false>(directoryFd, table, leadingFile,
                       [directoryFd](const struct dirent64 *record, std::string_view, Listed &listed) {
                           if (!listedByType(record, true, listed)) // links and file systems that do not report types
                               lookUp(directoryFd, record->d_name, 0, listed);
                           return true;
                       });
}

int DirectoryReader::readAll(int directoryFd, EntryTable &table, const WalkRules &rules, std::string_view directoryPath,
                             const LeadingFile &leadingFile)
{
    return rules.readMetadata ? readUnderRules<true>(directoryFd, table, rules, directoryPath, leadingFile)
                              : readUnderRules<false>(directoryFd, table, rules, directoryPath, leadingFile);
}

template <bool withMetadata>
int DirectoryReader::readUnderRules(int directoryFd, EntryTable &table, const WalkRules &rules,
                                    std::string_view directoryPath, const LeadingFile &leadingFile)
{
    const int lookUpFlags = rules.followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    ExclusionRules *const exclusions = rules.exclusions;
    std::uint64_t excluded = 0;
    const auto classify = [&](const struct dirent64 *record, std::string_view name, Listed &listed) {
        bool known = listedByType(record, rules.followLinks, listed);
        bool described = false;
        // An entry is looked up, or described, at most once.
        const auto resolve = [&]() -> const Listed & {
            if constexpr (withMetadata) {
                if (!described)
                    describe(directoryFd, record, rules.followLinks, listed, m_metadata);
                described = true;
            } else if (!known) {
                lookUp(directoryFd, record->d_name, lookUpFlags, listed);
            }
            known = true;
            return listed;
        };
        if (exclusions) {
            ExcludePattern::EntryPath path(m_entryPath, directoryPath, name);
            if (exclusions->excludes(name, path, [&] { return known ? listed.isDirectory : resolve().isDirectory; })) {
                ++excluded;
                listed = Listed{};
                listed.excluded = true;
                return rules.listExcluded;
            }
        }
        resolve();
        return true;
    };
    const int error = read<withMetadata>(directoryFd, table, leadingFile, classify);
    if (excluded > 0)
        exclusions->countExcluded(excluded);
    return error;
}
