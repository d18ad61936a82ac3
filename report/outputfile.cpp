#include "outputfile.h"

#include "outputpath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

OutputFile::OutputFile(const std::string &path, const std::atomic<bool> *cancel)
    : m_cancel(cancel)
{
    const std::string target = path.c_str();
    if (target.empty()) {
        m_failure.set(OutputFailure::noFileName);
        return;
    }
    if (const int named = ownDescriptorNamedBy(target); named >= 0) {
        // Written where the descriptor is, as with "-", so that what the
        // shell put there before and puts there after stays, and in append
        // mode when it was opened so: the copy shares its open file.
        m_into.reset(::fcntl(named, F_DUPFD_CLOEXEC, 0));
        if (!m_into.isValid())
            m_failure.set(errno);
        return;
    }
    struct stat status;
    const bool exists = ::stat(target.c_str(), &status) == 0;
    if (!exists && errno != ENOENT) {
        m_failure.set(errno); // "Not a directory" for a file followed by a slash
    } else if (target.back() == '/' || (exists && S_ISDIR(status.st_mode))) {
        m_failure.set(EISDIR);
    } else if (!exists || S_ISREG(status.st_mode)) {
        openForReplacing(followLinks(target), exists ? &status : nullptr);
    } else {
        // Opened by the name given, as a shell's > would.
        m_into.reset(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
        if (!m_into.isValid())
            m_failure.set(errno);
    }
}

void OutputFile::openForReplacing(const std::string &target, const struct stat *existing)
{
    // The user could not write into it; replacing it would be no different.
    if (existing && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        m_failure.set(errno);
        return;
    }
    m_replacing.emplace(target, existing, m_failure, m_cancel);
    const int error = m_replacing->makeTemporary();
    // The folder takes no new file (EPERM: it is immutable), but the file
    // itself may be writable.
    if ((error == EACCES || error == EPERM) && existing) {
        m_replacing.reset();
        m_inPlace.emplace(target, m_failure, m_cancel);
    } else if (error) {
        m_failure.set(error);
    }
}

int OutputFile::descriptor() const
{
    if (m_replacing)
        return m_replacing->descriptor();
    if (m_inPlace)
        return m_inPlace->descriptor();
    return m_into.get();
}

bool OutputFile::write(std::string_view bytes)
{
    while (!bytes.empty() && !failed()) {
        const ssize_t written = ::write(descriptor(), bytes.data(), bytes.size());
        if (written > 0)
            bytes.remove_prefix(std::size_t(written));
        else if (written == 0)
            m_failure.set(EIO);
        else if (errno != EINTR || cancelled())
            m_failure.set(errno, m_inPlace ? m_inPlace->contentPlace() : std::string());
    }
    return !failed();
}

bool OutputFile::commit()
{
    if (failed())
        return false;
    if (m_replacing)
        return m_replacing->commit();
    if (m_inPlace)
        return m_inPlace->commit();
    // Some file systems report a failed write only when the file is closed.
    return m_into.close() || m_failure.set(errno);
}
