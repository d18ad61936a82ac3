#pragma once

#include "mapoptions.h"

#include <string>
#include <vector>

// The exclude patterns that --exclude and --exclude-from give, in order,
// read as rsync reads them, so that its exclude files can be used as they
// are: a file (standard input for "-") holds one pattern a line, lines
// ending in a line feed or a carriage return, a zero byte ending the line's
// pattern; blank lines and lines that start with "#" or ";" are skipped. A rule "- PATTERN" is the pattern; a
// rule "!" drops every pattern before it. Gives what is wrong (a file that
// cannot be read, an include rule "+ PATTERN"), or an empty text.
std::string collectExcludePatterns(const std::vector<ExcludeOption> &options, std::vector<std::string> &patterns);
