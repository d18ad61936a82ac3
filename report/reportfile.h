#pragma once

#include <QString>

#include <string>

// Writes `content` to the file at `path` (its exact bytes, up to the first
// zero byte) and gives 1 only when all of it reached the file. A regular file
// is replaced whole only once the new content is written, so a failure
// leaves an earlier file as it was; a device or FIFO is written into. See
// OutputFile. On failure gives 0 and sets `reason`, when given, to the
// system's explanation.
//
// The program does not hold the report whole: it writes it to an
// OutputFile piece by piece as it is made (see MapJob::map).
int writeFile(const std::string &path, const std::string &content, QString *reason = nullptr);
