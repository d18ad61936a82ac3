#pragma once

#include <string>

// Opens the report with the desktop's default program: xdg-open is started
// detached, without a shell, with the path as its one argument. Gives false
// when the path is empty or the opener could not be started.
bool openReport(const std::string &path);
