#pragma once

struct FileSystemTraits
{
    // One of the kernel's pseudo file systems (/proc, /sys and the like),
    // whose directory links form graphs that a walk following links would
    // never finish: its links are listed, never followed.
    bool kernelPseudo = false;
    // One whose listings give each entry the inode that stat gives, on the
    // device of the directory listed, mount points aside.
    bool exactListingInodes = false;
};

FileSystemTraits fileSystemTraits(int directoryFd);
