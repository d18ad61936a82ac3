#include "replacingwrite.h"

#include "fileattributes.h"
#include "inplacewrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <utility>

namespace {

constexpr int writeFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY;

std::string directoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside `target` that no other writer is likely to pick.
std::string temporaryNameFor(const std::string &target)
{
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t seed = std::uint64_t(::getpid()) * 0x9E3779B97F4A7C15ULL
        ^ std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())
        ^ (++counter * 0xD6E8FEB86659FD93ULL);
    static constexpr char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix(8, '0');
    for (char &digit : suffix) {
        digit = digits[seed % 36];
        seed /= 36;
    }
    const std::size_t slash = target.rfind('/');
    const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
    // Short enough for any file system's name limit.
    const std::string base = target.substr(baseStart, NAME_MAX - suffix.size() - 2);
    return target.substr(0, baseStart) + '.' + base + '.' + suffix;
}

bool noUnnamedFiles(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

} // namespace

ReplacingWrite::ReplacingWrite(std::string target, const struct stat *existing, OutputFailure &failure,
                               const std::atomic<bool> *cancel)
    : m_target(std::move(target))
    , m_failure(failure)
    , m_cancel(cancel)
{
    if (existing)
        m_existing = *existing;
}

ReplacingWrite::~ReplacingWrite()
{
    // Closed first: a FUSE file system keeps a file removed while open
    // under a hidden name of its own.
    m_fd.reset();
    discardTemporary();
}

int ReplacingWrite::makeTemporary()
{
    // Giving an unnamed file a name later goes through /proc.
    static const bool canNameUnnamedFiles = ::access("/proc/self/fd", X_OK) == 0;
    int openError = EOPNOTSUPP;
    if (canNameUnnamedFiles) {
        m_fd.reset(::open(directoryOf(m_target).c_str(), O_TMPFILE | writeFlags, mode()));
        openError = errno;
    }
    if (m_fd.isValid()) {
        m_unnamed = true;
        return 0;
    }
    return noUnnamedFiles(openError) ? openNamedTemporary() : openError;
}

int ReplacingWrite::openNamedTemporary()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryNameFor(m_target);
        m_fd.reset(::open(name.c_str(), O_CREAT | O_EXCL | writeFlags, mode()));
        if (m_fd.isValid()) {
            m_temporary = std::move(name);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

bool ReplacingWrite::nameUnnamedTemporary()
{
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryNameFor(m_target);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_temporary = std::move(name);
            return true;
        }
        if (errno != EEXIST)
            return m_failure.set(errno);
    }
    return m_failure.set(EEXIST);
}

void ReplacingWrite::discardTemporary()
{
    // A FUSE file system may give up the removal when a signal comes.
    while (!m_temporary.empty() && ::unlink(m_temporary.c_str()) != 0 && errno == EINTR) {
    }
    m_temporary.clear();
}

bool ReplacingWrite::commit()
{
    if (m_existing) {
        if (const int error = copyFileAttributes(m_target, *m_existing, m_fd.get()))
            return m_failure.set(error);
    }
    // An earlier file is replaced only by content that has reached the disk.
    if (::fdatasync(m_fd.get()) != 0 && errno != EINVAL)
        return m_failure.set(errno);
    if (m_unnamed && !nameUnnamedTemporary())
        return false;
    if (!m_fd.close())
        return m_failure.set(errno);
    // The last moment to give up: once renamed, the new file is in place.
    if (cancelled())
        return m_failure.set(EINTR);
    if (::rename(m_temporary.c_str(), m_target.c_str()) == 0) {
        m_temporary.clear();
        return true;
    }
    // Some file systems (FUSE ones among them) cannot rename over a file
    // that exists: the finished content is then copied into it, as where
    // the folder takes no new file.
    if (errno != EEXIST)
        return m_failure.set(errno);
    return copyIntoTarget();
}

bool ReplacingWrite::copyIntoTarget()
{
    ScopedDescriptor content(::open(m_temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!content.isValid())
        return m_failure.set(errno);
    ScopedDescriptor target(::open(m_target.c_str(), writeFlags));
    if (!target.isValid())
        return m_failure.set(errno);
    const bool copied = InPlaceWrite(std::move(target), std::move(content), m_failure, m_cancel).commit();
    discardTemporary();
    return copied;
}
