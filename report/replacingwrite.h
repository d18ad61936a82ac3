#pragma once

#include "outputfailure.h"
#include "scopeddescriptor.h"

#include <sys/stat.h>

#include <atomic>
#include <optional>
#include <string>

// Content written to a temporary file beside `target`, which commit() then
// renames over it: a failure or an abandoned write leaves an earlier file as
// it was, and nothing behind. Where the file system allows, the temporary
// has no name until commit() (O_TMPFILE), so that it vanishes by itself if
// the process dies. Where the file system cannot rename over a file that
// exists (some FUSE file systems), the finished temporary is copied into
// the file in place, and then removed.
class ReplacingWrite
{
public:
    // `existing` is the file replaced (its status), if any: the new one gets
    // what the user set on it (see copyFileAttributes) once its content is
    // complete, as writing would clear the set-user-ID and set-group-ID bits
    // and file capabilities. Failures go to `failure`; once `cancel` is set,
    // commit() gives up rather than replace the earlier file.
    ReplacingWrite(std::string target, const struct stat *existing, OutputFailure &failure,
                   const std::atomic<bool> *cancel);
    ~ReplacingWrite();
    ReplacingWrite(const ReplacingWrite &) = delete;
    ReplacingWrite &operator=(const ReplacingWrite &) = delete;

    // Makes the temporary. Gives 0, or the error that kept it from being
    // made, which the caller records or acts on.
    int makeTemporary();

    int descriptor() const { return m_fd.get(); }
    // Gives false once anything has failed; the failure says why.
    bool commit();

private:
    bool cancelled() const { return m_cancel && *m_cancel; }
    // A new file's, which the umask narrows; the content of a file replaced
    // is kept from other users until its own mode is set.
    mode_t mode() const { return m_existing ? 0600 : 0666; }
    int openNamedTemporary();
    bool nameUnnamedTemporary();
    bool copyIntoTarget();
    void discardTemporary();

    const std::string m_target;
    std::optional<struct stat> m_existing;
    OutputFailure &m_failure;
    const std::atomic<bool> *const m_cancel;
    ScopedDescriptor m_fd;
    bool m_unnamed = false;  // an O_TMPFILE file, which gets a name only at commit
    std::string m_temporary; // the temporary's name, once it has one
};
