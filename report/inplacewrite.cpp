#include "inplacewrite.h"

#include "inplacecopy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool noUnnamedFiles(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

std::string temporaryFolder()
{
    const char *folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

// A file in `folder` for reading and writing that has no name; -1 with
// errno set when there is none.
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

InPlaceWrite::InPlaceWrite(const std::string &target, OutputFailure &failure, const std::atomic<bool> *cancel)
    : m_failure(failure)
    , m_cancel(cancel)
    , m_target(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY))
    , m_contentPlace(temporaryFolder())
{
    if (!m_target.isValid()) {
        m_failure.set(errno);
        return;
    }
    // The content is made whole elsewhere first, so that nothing touches the
    // file before the end.
    m_content.reset(openNamelessFile(m_contentPlace));
    if (!m_content.isValid())
        m_failure.set(errno, m_contentPlace);
}

InPlaceWrite::InPlaceWrite(ScopedDescriptor target, ScopedDescriptor content, OutputFailure &failure,
                           const std::atomic<bool> *cancel)
    : m_failure(failure)
    , m_cancel(cancel)
    , m_target(std::move(target))
    , m_content(std::move(content))
{
}

bool InPlaceWrite::commit()
{
    const off_t length = ::lseek(m_content.get(), 0, SEEK_END);
    if (length < 0)
        return m_failure.set(errno, m_contentPlace);
    // Another run may be copying into the same file; a stop request ends the wait.
    while (::flock(m_target.get(), LOCK_EX) != 0) {
        if (errno != EINTR || cancelled())
            return m_failure.set(errno);
    }
    if (cancelled())
        return m_failure.set(EINTR);
    if (const InPlaceCopy copy = copyInPlace(m_content.get(), m_target.get(), length); copy.error) {
        m_failure.damaged = copy.damaged;
        return m_failure.set(copy.error);
    }
    // Closing releases the lock.
    return m_target.close() || m_failure.set(errno);
}
