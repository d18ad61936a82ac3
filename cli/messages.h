#pragma once

#include <string>
#include <string_view>

// "velmora-map: " and the message, on a line of standard error. Messages
// carry paths as the bytes they were given.
void complain(const std::string &message);

// From now on, messages go to standard output: the report is being written
// into standard error's file, which they would break.
void sendMessagesToStandardOutput();

// A path as messages quote it.
std::string inQuotes(const std::string &path);

// Writes `text` whole to standard output and flushes it; gives false, with
// errno set, when that fails (a full disk, a closed pipe).
bool writeToStandardOutput(std::string_view text);
