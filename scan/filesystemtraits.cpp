#include "filesystemtraits.h"

#include <linux/magic.h>
#include <sys/vfs.h>

#include <algorithm>
#include <iterator>

namespace {

// Magic numbers that statfs reports and <linux/magic.h> does not name.
constexpr unsigned long configfsMagic = 0x62656570;
constexpr unsigned long mqueueMagic = 0x19800202;
constexpr unsigned long fuseControlMagic = 0x65735543;

constexpr unsigned long pseudoFileSystems[] = {
    PROC_SUPER_MAGIC,
    SYSFS_MAGIC,
    CGROUP_SUPER_MAGIC,
    CGROUP2_SUPER_MAGIC,
    DEBUGFS_MAGIC,
    TRACEFS_MAGIC,
    SECURITYFS_MAGIC,
    configfsMagic,
    BPF_FS_MAGIC,
    PSTOREFS_MAGIC,
    EFIVARFS_MAGIC,
    DEVPTS_SUPER_MAGIC,
    mqueueMagic,
    fuseControlMagic,
    BINFMTFS_MAGIC,
    HUGETLBFS_MAGIC,
};

constexpr unsigned long exactFileSystems[] = {
    EXT4_SUPER_MAGIC, // ext2 and ext3 too
    XFS_SUPER_MAGIC,
    TMPFS_MAGIC,
};

template <std::size_t size>
bool contains(const unsigned long (&types)[size], unsigned long type)
{
    return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

} // namespace

FileSystemTraits fileSystemTraits(int directoryFd)
{
    struct statfs status;
    if (::fstatfs(directoryFd, &status) != 0)
        return {};
    const auto type = static_cast<unsigned long>(status.f_type) & 0xffffffffUL;
    return {contains(pseudoFileSystems, type), contains(exactFileSystems, type)};
}
