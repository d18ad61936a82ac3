#pragma once

#include <atomic>
#include <string>
#include <string_view>

// Writes a file in pieces, under a path taken as exact bytes (up to its first
// zero byte), symbolic links followed.
//
// A regular file, or a new one, is replaced only by commit(): the content
// goes to a temporary file beside it, which then takes its name, so a
// failure or an abandoned write leaves an earlier file as it was and nothing
// behind. The new file keeps the permissions of the one it replaces. When
// the folder cannot be written to but the existing file can, the file is
// written in place instead. Anything else that exists under the name (a
// device, a FIFO) is written into as it is and never replaced.
class OutputFile
{
public:
    // Once `cancel` is set, a write that a signal interrupts fails.
    explicit OutputFile(const std::string &path, const std::atomic<bool> *cancel = nullptr);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Both give false once anything has failed; errorString() then says why.
    bool write(std::string_view bytes);
    bool commit();

    bool failed() const { return m_error != 0; }
    // The system's explanation of the first failure.
    std::string errorString() const;

private:
    enum class Mode { Replace, InPlace };

    bool fail(int error);
    void openForReplacing(bool exists, unsigned existingMode);
    bool openNamedTemporary(bool exists, unsigned existingMode);
    bool linkUnnamedTemporary();
    void discardTemporary();

    const std::atomic<bool> *const m_cancel;
    Mode m_mode = Mode::InPlace;
    int m_fd = -1;
    int m_error = 0;
    bool m_unnamed = false;     // an O_TMPFILE file, which gets a name only at commit
    std::string m_target;       // the file the temporary replaces
    std::string m_temporary;    // the temporary's name, once it has one
};
