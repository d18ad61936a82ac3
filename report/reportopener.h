#pragma once

#include <string>

// Opens the report with the desktop's default program: xdg-open is started
// in a session of its own, without a shell, with the report's absolute path
// (its exact bytes) as its one argument. Gives false when the path is empty
// or the opener could not be started.
bool openReport(const std::string &path);
