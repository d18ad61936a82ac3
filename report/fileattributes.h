#pragma once

#include <sys/stat.h>

#include <string>

// Gives the new file open on `fd` what the user set on the file at `path`,
// which it is to replace, as far as the process may set it and the file
// system can keep it: owner and group, then access control lists and other
// extended attributes, then the mode (`status` is that file's). Gives 0, or
// the error that kept an attribute the file system does hold from being
// copied.
int copyFileAttributes(const std::string &path, const struct stat &status, int fd);
