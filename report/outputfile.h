#pragma once

#include "inplacewrite.h"
#include "outputfailure.h"
#include "replacingwrite.h"
#include "scopeddescriptor.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

struct stat;

// Writes a file in pieces, under a path taken as exact bytes (up to its first
// zero byte), choosing how from what the path names:
//
// - A regular file, or a new one, is replaced only by commit() (see
//   ReplacingWrite), so a failure or an abandoned write leaves an earlier
//   file as it was and nothing behind. A symbolic link to a regular file is
//   followed, so that the file is replaced, not the link. The new file keeps
//   the owner and group (where the process may set them), the access control
//   lists, the other extended attributes and the mode of the one it
//   replaces, as far as its file system keeps them, set once its content is
//   written. A file the user may not write into is refused, not replaced.
// - When the folder cannot be written to (no permission, or immutable) but
//   the existing file can, the file is updated in place (see InPlaceWrite): the whole content is made first
//   in the temporary folder, then copied in under an advisory lock, with the
//   signals that would end the process held back. Until the copy begins, any
//   failure leaves the earlier file as it was. What remains: a power loss or
//   SIGKILL during the copy, or a write failing during it where space could
//   not be reserved ahead (an I/O error, a copy-on-write or network file
//   system running full), leaves the file part old, part new, and the error
//   says so.
// - One of the process's open descriptors (/dev/stdout, /dev/fd/N,
//   /proc/self/fd/N, see ownDescriptorNamedBy) is written into where it
//   stands, as standard output is for "-", never replaced or truncated.
// - Anything else that exists under the name (a device, a FIFO) is opened as
//   given, written into as it is and never replaced.
class OutputFile
{
public:
    // Once `cancel` is set, a write that a signal interrupts fails, and
    // commit() gives up rather than replace the earlier file.
    explicit OutputFile(const std::string &path, const std::atomic<bool> *cancel = nullptr);
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Both give false once anything has failed; errorString() then says why.
    // Once commit() has given true, the new content is in place.
    bool write(std::string_view bytes);
    bool commit();

    bool failed() const { return m_failure.error != 0; }
    // The system's explanation of the first failure.
    std::string errorString() const { return m_failure.text(); }

private:
    bool cancelled() const { return m_cancel && *m_cancel; }
    void openForReplacing(const std::string &target, const struct stat *existing);
    int descriptor() const;

    const std::atomic<bool> *const m_cancel;
    OutputFailure m_failure;
    // One of these three is where write() goes.
    std::optional<ReplacingWrite> m_replacing;
    std::optional<InPlaceWrite> m_inPlace;
    ScopedDescriptor m_into; // an open descriptor of ours, or what is not a regular file
};
