#pragma once

#include <QString>

#include <string>

// A text typed into the window as the file system's bytes for it: the
// whole text, never cut short.
std::string toNarrowText(const QString &text);

// Narrow text shown in the window, one byte per character.
QString fromNarrowText(const std::string &text);
