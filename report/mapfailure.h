#pragma once

#include <string>
#include <system_error>

// Why a map run could not make its report.
enum class MapFailure {
    None,
    OutOfMemory,      // the tree is too large to map in the memory available
    TooManyEntries,   // more folders or files than a report can count
    OutOfDescriptors, // no file descriptor could be had to read a directory
    Cancelled,
    NotWritten,       // the writer refused a piece
    SystemError,      // a system call failed otherwise; the system's text says how
};

// The failure that a std::system_error of the walk stands for.
MapFailure failureFor(const std::error_code &code);

// What the user is told of a run that failed for `failure`: velmora-map's
// message, after "velmora-map: ", about the root `root` as given, and the
// last line of the window's box. `systemText` is the system's explanation,
// where the failure has one.
std::string commandLineMessage(MapFailure failure, const std::string &root, const std::string &systemText);
std::string windowMessage(MapFailure failure, const std::string &systemText);
