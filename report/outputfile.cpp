#include "outputfile.h"

#include "fileattributes.h"
#include "inplacecopy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
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

bool noUnnamedFiles(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

std::string temporaryFolder()
{
    const char *folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

// A file in `folder` for reading and writing that has no name, so that
// nothing of it outlives the process; -1 with errno set when there is none.
int openNamelessFile(const std::string &folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || !noUnnamedFiles(errno))
        return fd;
    std::string name = folder + "/.velmora-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.c_str());
    return named;
}

} // namespace

OutputFile::OutputFile(const std::string &path, const std::atomic<bool> *cancel)
    : m_cancel(cancel)
    , m_target(path.c_str())
{
    if (m_target.empty()) {
        fail(noFileName);
        return;
    }
    struct stat status;
    const bool exists = ::stat(m_target.c_str(), &status) == 0;
    if (!exists && errno != ENOENT) {
        fail(errno); // "Not a directory" for a file followed by a slash
    } else if (m_target.back() == '/' || (exists && S_ISDIR(status.st_mode))) {
        fail(EISDIR);
    } else if (!exists || S_ISREG(status.st_mode)) {
        m_target = followLinks(m_target);
        openForReplacing(exists ? &status : nullptr);
    } else if ((m_fd = ::open(m_target.c_str(), writeFlags)) < 0) {
        // Opened by the name given, as a shell's > would: /dev/stdout leads
        // through /proc to a pipe that has no name of its own to follow.
        fail(errno);
    }
}

OutputFile::~OutputFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_targetFd >= 0)
        ::close(m_targetFd);
    discardTemporary();
}

void OutputFile::openForReplacing(const struct stat *existing)
{
    const bool exists = existing != nullptr;
    // The user could not write into it; replacing it would be no different.
    if (exists && ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0) {
        fail(errno);
        return;
    }
    m_mode = Mode::Replace;
    // An unnamed file vanishes by itself if the program dies before commit.
    // Giving it a name later goes through /proc.
    static const bool canNameUnnamedFiles = ::access("/proc/self/fd", X_OK) == 0;
    int openError = EOPNOTSUPP;
    if (canNameUnnamedFiles) {
        m_fd = ::open(directoryOf(m_target).c_str(), O_TMPFILE | writeFlags, 0666);
        openError = errno;
    }
    if (m_fd >= 0)
        m_unnamed = true;
    else if (noUnnamedFiles(openError))
        openNamedTemporary();
    else
        fail(openError);

    if (m_error == EACCES && exists) {
        // The folder takes no new file, but the file itself may be writable.
        m_error = 0;
        openInPlace();
        return;
    }
    if (!failed() && exists) {
        if (const int error = copyFileAttributes(m_target, *existing, m_fd))
            fail(error);
    }
}

bool OutputFile::openNamedTemporary()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryNameFor(m_target);
        m_fd = ::open(name.c_str(), O_CREAT | O_EXCL | writeFlags, 0666);
        if (m_fd >= 0) {
            m_temporary = std::move(name);
            return true;
        }
        if (errno != EEXIST)
            return fail(errno);
    }
    return fail(EEXIST);
}

bool OutputFile::openInPlace()
{
    m_mode = Mode::InPlace;
    m_targetFd = ::open(m_target.c_str(), writeFlags);
    if (m_targetFd < 0)
        return fail(errno);
    // The content is made whole elsewhere first, so that nothing touches the
    // file before the end.
    const std::string folder = temporaryFolder();
    m_fd = openNamelessFile(folder);
    return m_fd >= 0 || fail(errno, folder);
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
        else if (errno != EINTR || cancelled())
            fail(errno, m_mode == Mode::InPlace ? temporaryFolder() : std::string());
    }
    return !failed();
}

bool OutputFile::commit()
{
    if (failed())
        return false;
    switch (m_mode) {
    case Mode::Replace:
        return replace();
    case Mode::InPlace:
        return copyInPlace();
    case Mode::Into:
        break;
    }
    // Some file systems report a failed write only when the file is closed.
    if (::close(std::exchange(m_fd, -1)) != 0 && errno != EINTR)
        return fail(errno);
    return true;
}

bool OutputFile::replace()
{
    // An earlier file is replaced only by content that has reached the disk.
    if (::fdatasync(m_fd) != 0 && errno != EINVAL)
        return fail(errno);
    if (m_unnamed && !linkUnnamedTemporary())
        return false;
    if (::close(std::exchange(m_fd, -1)) != 0 && errno != EINTR)
        return fail(errno);
    // The last moment to give up: once renamed, the new file is in place.
    if (cancelled())
        return fail(EINTR);
    if (::rename(m_temporary.c_str(), m_target.c_str()) == 0) {
        m_temporary.clear();
        return true;
    }
    // Some file systems (FUSE ones among them) cannot rename over a file
    // that exists: the finished content is then copied into it, as where
    // the folder takes no new file.
    if (errno != EEXIST)
        return fail(errno);
    if ((m_fd = ::open(m_temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)) < 0)
        return fail(errno);
    if ((m_targetFd = ::open(m_target.c_str(), writeFlags)) < 0)
        return fail(errno);
    const bool copied = copyInPlace();
    discardTemporary();
    return copied;
}

bool OutputFile::copyInPlace()
{
    const off_t length = ::lseek(m_fd, 0, SEEK_END);
    if (length < 0)
        return fail(errno, m_mode == Mode::InPlace ? temporaryFolder() : std::string());
    // Another run may be copying into the same file; a stop request ends the wait.
    while (::flock(m_targetFd, LOCK_EX) != 0) {
        if (errno != EINTR || cancelled())
            return fail(errno);
    }
    if (cancelled())
        return fail(EINTR);
    if (const int error = ::copyInPlace(m_fd, m_targetFd, length))
        return fail(error);
    // Closing releases the lock.
    if (::close(std::exchange(m_targetFd, -1)) != 0 && errno != EINTR)
        return fail(errno);
    return true;
}

bool OutputFile::fail(int error, std::string where)
{
    if (m_error == 0) {
        m_error = error;
        m_errorPlace = std::move(where);
    }
    return false;
}

std::string OutputFile::errorString() const
{
    if (m_error == noFileName)
        return "No file name specified";
    if (m_error == 0)
        return std::string();
    std::string text = std::strerror(m_error);
    if (!m_errorPlace.empty())
        text += " in the temporary folder '" + m_errorPlace + '\'';
    return text;
}
