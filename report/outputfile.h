#pragma once

#include <atomic>
#include <string>
#include <string_view>

struct stat;

// Writes a file in pieces, under a path taken as exact bytes (up to its first
// zero byte).
//
// A regular file, or a new one, is replaced only by commit(): the content
// goes to a temporary file beside it, which then takes its name, so a
// failure or an abandoned write leaves an earlier file as it was and nothing
// behind. A symbolic link to a regular file is followed, so that the file is
// replaced, not the link. The new file keeps the owner and group (where the
// process may set them), the access control lists, the other extended
// attributes and the mode of the one it replaces, as far as its file system
// keeps them. A file the user may not write into is refused, not replaced.
//
// When the folder cannot be written to but the existing file can, the file
// is updated in place: the whole content is made first in an unnamed file in
// the temporary folder ($TMPDIR, else /tmp). commit() then waits for an
// advisory lock on the file (another run updating it in place holds it),
// reserves the space the new content needs, and only then copies it in, cuts
// the file to length and syncs it, with the signals that would end the
// process held back. Until the copy begins, any failure leaves the earlier
// file as it was. What remains: a power loss or SIGKILL during the copy, or
// a write failing during it where space could not be reserved ahead (an I/O
// error, a copy-on-write or network file system running full), leaves the
// file part old, part new.
//
// Where the file system cannot rename a file over one that exists (some
// FUSE file systems), the finished temporary is copied into the file in the
// same way, and then removed.
//
// Anything else that exists under the name (a device, a FIFO, a pipe named
// through /dev/stdout) is opened as given, written into as it is and never
// replaced.
class OutputFile
{
public:
    // Once `cancel` is set, a write that a signal interrupts fails, and
    // commit() gives up rather than replace the earlier file.
    explicit OutputFile(const std::string &path, const std::atomic<bool> *cancel = nullptr);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Both give false once anything has failed; errorString() then says why.
    // Once commit() has given true, the new content is in place.
    bool write(std::string_view bytes);
    bool commit();

    bool failed() const { return m_error != 0; }
    // The system's explanation of the first failure.
    std::string errorString() const;

private:
    enum class Mode { Replace, InPlace, Into };

    bool fail(int error, std::string where = {});
    bool cancelled() const { return m_cancel && *m_cancel; }
    void openForReplacing(const struct stat *existing);
    bool openNamedTemporary();
    bool openInPlace();
    bool linkUnnamedTemporary();
    bool replace();
    bool copyInPlace();
    void discardTemporary();

    const std::atomic<bool> *const m_cancel;
    Mode m_mode = Mode::Into;
    int m_fd = -1;              // where write() goes
    int m_targetFd = -1;        // in place: the file itself
    int m_error = 0;
    bool m_unnamed = false;     // an O_TMPFILE file, which gets a name only at commit
    std::string m_target;       // the file the content is for
    std::string m_temporary;    // the temporary's name, once it has one
    std::string m_errorPlace;   // where the failure happened, when not at the target
};
