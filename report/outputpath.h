#pragma once

#include <string>

// What an output path names, told by following its symbolic links one at a
// time (up to 40 of them), as the kernel would.

// The descriptor of this process that `path` names: /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N,
// /proc/PID/fd/N with the process's own PID, or a link that leads to one of
// them. Gives -1 when it names none. Whether N is open is not asked.
int ownDescriptorNamedBy(std::string path);

// The path that a chain of symbolic links starting at `path` leads to,
// whether anything exists there or not.
std::string followLinks(std::string path);
