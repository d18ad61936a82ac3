#pragma once

#include "directoryidentity.h"

#include <unordered_set>

// The directories that hold mount points, as the mount table gives them
// now: there, a subdirectory's listed inode may not be that of what is
// mounted on it. Read afresh for every scan, since mounts come and go.
class MountPoints
{
public:
    // Reads the mount table; when it cannot be read, every directory may
    // hold a mount point.
    MountPoints();

    bool mayHoldMountPoint(const DirectoryIdentity &directory) const;

private:
    bool m_known = false;
    std::unordered_set<DirectoryIdentity, DirectoryIdentityHash> m_holders;
};
