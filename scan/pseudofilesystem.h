#pragma once

// True when the open directory lies on one of the kernel's pseudo file
// systems (/proc, /sys and the like), whose directory links form graphs
// that a walk following links would never finish.
bool isKernelPseudoFileSystem(int directoryFd);
