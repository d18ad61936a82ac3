#include "directoryadmission.h"

#include "filesystemtraits.h"

#include <cerrno>

DirectoryAdmission::DirectoryAdmission(const WalkPath &path, const MountPoints *mountPoints,
                                       bool rootOnPseudoFileSystem, bool oneFileSystem)
    : m_path(path)
    , m_mountPoints(mountPoints)
    , m_enterPseudoFileSystems(rootOnPseudoFileSystem)
    , m_oneFileSystem(oneFileSystem)
{
}

namespace {

// Whether the directory opened as `fd` can be read: it was opened and, unless
// its identity is `known` already, tells it. One that cannot is closed, and
// `error` says why.
bool readable(ScopedDescriptor &fd, bool known, DirectoryIdentity &identity, int &error)
{
    if (fd.isValid() && !known && !identifyDirectory(fd.get(), identity)) {
        error = errno;
        fd.reset();
    }
    return fd.isValid();
}

} // namespace

Admission DirectoryAdmission::admitStart(ScopedDescriptor &fd, int error)
{
    DirectoryIdentity identity;
    if (!readable(fd, false, identity, error))
        return Admission::refused(AdmissionReason::Unreadable, error);
    if (m_path.contains(identity))
        return Admission::refused(AdmissionReason::Loop);
    // The first ancestor of a handed-over subtree is the root.
    const std::vector<DirectoryIdentity> &ancestors = m_path.ancestors();
    if (m_oneFileSystem && !ancestors.empty() && identity.device != ancestors.front().device)
        return Admission::refused(AdmissionReason::OtherFileSystem);
    const FileSystemTraits traits = fileSystemTraits(fd.get());
    if (ancestors.empty())
        m_enterPseudoFileSystems = traits.kernelPseudo;
    else if (traits.kernelPseudo && !m_enterPseudoFileSystems && identity.device != ancestors.back().device)
        return Admission::refused(AdmissionReason::PseudoFileSystem);
    return {AdmissionReason::Entered, 0, identity, traits};
}

Admission DirectoryAdmission::admitOpened(const EntryRecord &entry, ScopedDescriptor &fd, int error) const
{
    const std::size_t parent = m_path.depth() - 1;
    const DirectoryIdentity &above = m_path.identity(parent);
    DirectoryIdentity identity = entry.identity;
    // Where the listing's inode is the directory's own, it spares a stat.
    bool identified = entry.hasIdentity;
    if (!identified && m_path.traits(parent).exactListingInodes && m_mountPoints
        && !m_mountPoints->mayHoldMountPoint(above)) {
        identity = {above.device, entry.identity.inode};
        identified = true;
    }
    if (!readable(fd, identified, identity, error))
        return Admission::refused(AdmissionReason::Unreadable, error);
    if (m_path.contains(identity))
        return Admission::refused(AdmissionReason::Loop);
    // The file system is asked about only where the device changes, so
    // that ordinary trees pay nothing for it.
    FileSystemTraits traits = m_path.traits(parent);
    if (identity.device != above.device) {
        // Every directory entered is on the root's device then.
        if (m_oneFileSystem)
            return Admission::refused(AdmissionReason::OtherFileSystem);
        traits = fileSystemTraits(fd.get());
        if (traits.kernelPseudo && !m_enterPseudoFileSystems)
            return Admission::refused(AdmissionReason::PseudoFileSystem);
    }
    return {AdmissionReason::Entered, 0, identity, traits};
}
