#pragma once

#include <QString>

#include <string>

// Writes `content` to the file at `path` (used up to its first zero byte)
// and gives 1 only when all of it reached the file. The content goes to a
// temporary file beside the target that then replaces it, so a failed write
// leaves an earlier file untouched and nothing half written behind; an
// existing file keeps its permissions. Gives 0 for an empty path, a
// directory, a missing folder or one that cannot be written to, and then
// sets `reason`, when given, to the system's explanation.
int writeFile(const std::string &path, const std::string &content, QString *reason = nullptr);
