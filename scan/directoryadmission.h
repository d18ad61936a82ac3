#pragma once

#include "directoryidentity.h"
#include "entrytable.h"
#include "filesystemtraits.h"
#include "mountpoints.h"
#include "scopeddescriptor.h"
#include "walkpath.h"

// Whether a directory is entered, and if not, why.
enum class AdmissionReason : unsigned char {
    Entered,
    Loop,             // it is already on the path from the root
    PseudoFileSystem, // a kernel pseudo file system, below a root that is not on one
    OtherFileSystem,  // on another device than the root, where the walk stays on the root's
    Unreadable,       // it cannot be opened or identified
};

struct Admission
{
    AdmissionReason reason = AdmissionReason::Entered;
    int error = 0;                   // why it is unreadable: an errno value
    DirectoryIdentity identity; // of a directory entered
    FileSystemTraits traits;    // of a directory entered: its file system's

    bool entered() const { return reason == AdmissionReason::Entered; }

    static Admission refused(AdmissionReason reason, int error = 0)
    {
        Admission admission;
        admission.reason = reason;
        admission.error = error;
        return admission;
    }
};

// Decides for the walk's start and for each subdirectory of the path's top
// level whether the walk enters it. A rule about which directories are
// entered goes here, not into the traversal.
class DirectoryAdmission
{
public:
    // Without `mountPoints`, every directory is asked for its identity.
    // Kernel pseudo file systems are entered below a root on one, which the
    // walk of the root itself finds out and a walk of a subtree is told;
    // their directories' listings then show links as files.
    // With `oneFileSystem`, no directory on another device than the root's
    // is entered.
    DirectoryAdmission(const WalkPath &path, const MountPoints *mountPoints, bool rootOnPseudoFileSystem,
                       bool oneFileSystem);

    // The start, opened as `fd`, or not for the reason `error`.
    Admission admitStart(ScopedDescriptor &fd, int error);
    // A subdirectory before it is opened: its listing may show a loop.
    Admission admitListed(const EntryRecord &entry) const
    {
        if (entry.hasIdentity && m_path.contains(entry.identity))
            return Admission::refused(AdmissionReason::Loop);
        return {};
    }
    // A subdirectory opened as `fd`, or not for the reason `error`. A
    // descriptor that turns out unusable is closed.
    Admission admitOpened(const EntryRecord &entry, ScopedDescriptor &fd, int error) const;

private:
    const WalkPath &m_path;
    const MountPoints *const m_mountPoints;
    bool m_enterPseudoFileSystems;
    const bool m_oneFileSystem;
};
