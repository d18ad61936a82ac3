#include "filesystemtraits.h"

#include <sys/vfs.h>

#include <algorithm>
#include <iterator>

namespace {

// Their magic numbers, as statfs reports them.
constexpr unsigned long pseudoFileSystems[] = {
    0x9fa0,     // proc
    0x62656572, // sysfs
    0x27e0eb,   // cgroup
    0x63677270, // cgroup2
    0x64626720, // debugfs
    0x74726163, // tracefs
    0x73636673, // securityfs
    0x62656570, // configfs
    0xcafe4a11, // bpf
    0x6165676c, // pstore
    0xde5e81e4, // efivarfs
    0x1cd1,     // devpts
    0x19800202, // mqueue
    0x65735543, // fusectl
    0x42494e4d, // binfmt_misc
    0x958458f6, // hugetlbfs
};

constexpr unsigned long exactFileSystems[] = {
    0xef53,     // ext2, ext3, ext4
    0x58465342, // xfs
    0x01021994, // tmpfs
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
