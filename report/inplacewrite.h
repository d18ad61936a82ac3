#pragma once

#include "outputfailure.h"
#include "scopeddescriptor.h"

#include <atomic>
#include <string>

// Content made whole in a file of its own, then copied into an existing
// file, which keeps its inode, owner and links. commit() waits for an
// advisory lock on the file (another run updating it in place holds it),
// then copies the content in (see copyInPlace): until the copy begins, any
// failure leaves the file as it was.
class InPlaceWrite
{
public:
    // Opens `target` for writing, and for the content an unnamed file in the
    // temporary folder ($TMPDIR, else /tmp), so that nothing of it outlives
    // the process. Failures go to `failure`.
    InPlaceWrite(const std::string &target, OutputFailure &failure, const std::atomic<bool> *cancel);
    // Copies what `content` already holds into the file open as `target`.
    InPlaceWrite(ScopedDescriptor target, ScopedDescriptor content, OutputFailure &failure,
                 const std::atomic<bool> *cancel);
    InPlaceWrite(const InPlaceWrite &) = delete;
    InPlaceWrite &operator=(const InPlaceWrite &) = delete;

    // Where the content goes, and where a failure to write it happens ("" for
    // beside the target).
    int descriptor() const { return m_content.get(); }
    const std::string &contentPlace() const { return m_contentPlace; }

    // Gives false once anything has failed; the failure says why.
    bool commit();

private:
    bool cancelled() const { return m_cancel && *m_cancel; }

    OutputFailure &m_failure;
    const std::atomic<bool> *const m_cancel;
    ScopedDescriptor m_target;
    ScopedDescriptor m_content;
    std::string m_contentPlace;
};
