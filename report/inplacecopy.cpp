#include "inplacecopy.h"

#include "heldsignals.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// Copies bytes `begin` to `end` of `from` to the same place in `into`;
// `changed`, when given, is set once any byte is written.
int copyRange(int from, int into, off_t begin, off_t end, bool *changed = nullptr)
{
    std::vector<char> buffer(std::size_t(1) << 20);
    while (begin < end) {
        const std::size_t want = std::size_t(std::min<off_t>(end - begin, off_t(buffer.size())));
        const ssize_t got = ::pread(from, buffer.data(), want, begin);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : EIO;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(into, buffer.data() + done, std::size_t(got - done), begin + done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return put < 0 ? errno : EIO;
            if (changed)
                *changed = true;
            done += put;
        }
        begin += got;
    }
    return 0;
}

// Makes sure that writing `length` bytes from the start of `into` cannot run
// out of space, without changing what it holds.
int reserve(int from, int into, off_t length)
{
    if (length == 0 || ::fallocate(into, FALLOC_FL_KEEP_SIZE, 0, length) == 0)
        return 0;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    struct stat status;
    if (::fstat(into, &status) != 0)
        return errno;
    // Overwriting takes no more space than the file has; growing it does.
    if (length <= status.st_size)
        return 0;
    if (const int error = copyRange(from, into, status.st_size, length)) {
        // Back to its old length. Should that fail as well, the bytes the
        // file held are still as they were, and why it could not grow is
        // the reason worth reporting.
        while (::ftruncate(into, status.st_size) != 0 && errno == EINTR) {
        }
        return error;
    }
    return 0;
}

constexpr char capabilityName[] = "security.capability";
constexpr mode_t clearedBits = S_ISUID | S_ISGID;

// What writing into a file takes from it: the set-user-ID and set-group-ID
// bits, and a file capability. Noted while it lives, put back when it goes,
// as far as the process may: the file's owner may set the bits, and setting
// a capability takes CAP_SETFCAP. What it may not set stays cleared, as the
// kernel left it.
class ClearedByWriting
{
public:
    explicit ClearedByWriting(int fd)
        : m_fd(fd)
    {
        struct stat status;
        if (::fstat(fd, &status) == 0)
            m_bits = status.st_mode & clearedBits;
        m_capabilitySize = ::fgetxattr(fd, capabilityName, m_capability, sizeof m_capability);
    }
    ~ClearedByWriting()
    {
        if (m_capabilitySize > 0 && ::fgetxattr(m_fd, capabilityName, nullptr, 0) < 0 && errno == ENODATA)
            ::fsetxattr(m_fd, capabilityName, m_capability, std::size_t(m_capabilitySize), 0);
        struct stat status;
        if (m_bits != 0 && ::fstat(m_fd, &status) == 0 && (status.st_mode & clearedBits) != m_bits)
            ::fchmod(m_fd, (status.st_mode & 07777 & ~clearedBits) | m_bits);
    }
    ClearedByWriting(const ClearedByWriting &) = delete;
    ClearedByWriting &operator=(const ClearedByWriting &) = delete;

private:
    const int m_fd;
    mode_t m_bits = 0;
    char m_capability[64];
    ssize_t m_capabilitySize = -1;
};

} // namespace

InPlaceCopy copyInPlace(int from, int into, off_t length)
{
    // The file size limit may have been lowered since the content was made:
    // a copy it would cut short is not begun.
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && rlim_t(length) > limit.rlim_cur)
        return {EFBIG};
    // A signal must not end the process with the file part old, part new.
    HeldSignals held;
    const ClearedByWriting cleared(into);
    if (const int error = reserve(from, into, length))
        return {error};
    bool changed = false;
    if (const int error = copyRange(from, into, 0, length, &changed))
        return {error, changed};
    // Not cut to length, or not on the disk: neither the old nor the new.
    if (::ftruncate(into, length) != 0 || (::fdatasync(into) != 0 && errno != EINVAL))
        return {errno, true};
    return {};
}
