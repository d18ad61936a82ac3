#include "outputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr int writeFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY;
constexpr int noFileName = -1; // an error of our own beside errno's

// The file a chain of symbolic links leads to, whether it exists or not, so
// that the link itself is never replaced.
std::string followLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || std::size_t(length) == sizeof target)
            return path;
        if (target[0] == '/') {
            path.assign(target, std::size_t(length));
        } else {
            const std::size_t slash = path.rfind('/');
            path.erase(slash == std::string::npos ? 0 : slash + 1).append(target, std::size_t(length));
        }
    }
    return path;
}

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

} // namespace

OutputFile::OutputFile(const std::string &path, const std::atomic<bool> *cancel)
    : m_cancel(cancel)
    , m_target(followLinks(path.c_str()))
{
    if (path.c_str()[0] == '\0') {
        fail(noFileName);
        return;
    }
    if (m_target.back() == '/') {
        fail(EISDIR);
        return;
    }
    struct stat status;
    if (::stat(m_target.c_str(), &status) != 0) {
        if (errno == ENOENT)
            openForReplacing(false, 0);
        else
            fail(errno);
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        fail(EISDIR);
    } else if (S_ISREG(status.st_mode)) {
        openForReplacing(true, status.st_mode & 07777);
    } else if ((m_fd = ::open(m_target.c_str(), writeFlags)) < 0) {
        fail(errno);
    }
}

OutputFile::~OutputFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    discardTemporary();
}

void OutputFile::openForReplacing(bool exists, unsigned existingMode)
{
    m_mode = Mode::Replace;
    // An unnamed file vanishes by itself if the program dies before commit.
    // Giving it a name later goes through /proc.
    static const bool canNameUnnamedFiles = ::access("/proc/self/fd", X_OK) == 0;
    int openError = EOPNOTSUPP;
    if (canNameUnnamedFiles) {
        m_fd = ::open(directoryOf(m_target).c_str(), O_TMPFILE | writeFlags, 0666);
        openError = errno;
    }
    if (m_fd >= 0) {
        m_unnamed = true;
        if (exists && ::fchmod(m_fd, existingMode) != 0)
            fail(errno);
        return;
    }
    if (openError == EOPNOTSUPP || openError == EISDIR || openError == EINVAL)
        openNamedTemporary(exists, existingMode);
    else
        fail(openError);

    if (m_error == EACCES && exists) {
        // The folder takes no new file, but the file itself may be writable.
        m_error = 0;
        m_mode = Mode::InPlace;
        m_fd = ::open(m_target.c_str(), writeFlags | O_TRUNC);
        if (m_fd < 0)
            fail(errno);
    }
}

bool OutputFile::openNamedTemporary(bool exists, unsigned existingMode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryNameFor(m_target);
        m_fd = ::open(name.c_str(), O_CREAT | O_EXCL | writeFlags, 0666);
        if (m_fd >= 0) {
            m_temporary = std::move(name);
            return !exists || ::fchmod(m_fd, existingMode) == 0 || fail(errno);
        }
        if (errno != EEXIST)
            return fail(errno);
    }
    return fail(EEXIST);
}

bool OutputFile::linkUnnamedTemporary()
{
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryNameFor(m_target);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_temporary = std::move(name);
            return true;
        }
        if (errno != EEXIST)
            return fail(errno);
    }
    return fail(EEXIST);
}

void OutputFile::discardTemporary()
{
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

bool OutputFile::write(std::string_view bytes)
{
    while (!bytes.empty() && !failed()) {
        const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
        if (written > 0)
            bytes.remove_prefix(std::size_t(written));
        else if (written == 0)
            fail(EIO);
        else if (errno != EINTR || (m_cancel && *m_cancel))
            fail(errno);
    }
    return !failed();
}

bool OutputFile::commit()
{
    if (failed())
        return false;
    if (m_mode == Mode::Replace) {
        // An earlier file is replaced only by content that has reached the disk.
        if (::fdatasync(m_fd) != 0 && errno != EINVAL)
            return fail(errno);
        if (m_unnamed && !linkUnnamedTemporary())
            return false;
    }
    // Some file systems report a failed write only when the file is closed.
    if (::close(std::exchange(m_fd, -1)) != 0 && errno != EINTR)
        return fail(errno);
    if (m_mode == Mode::Replace) {
        if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
            return fail(errno);
        m_temporary.clear();
    }
    return true;
}

bool OutputFile::fail(int error)
{
    if (m_error == 0)
        m_error = error;
    return false;
}

std::string OutputFile::errorString() const
{
    if (m_error == noFileName)
        return "No file name specified";
    return m_error == 0 ? std::string() : std::strerror(m_error);
}
