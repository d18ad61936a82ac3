#pragma once

#include <QString>

#include <string>

// A text typed into the window as the file system's bytes for it: the
// whole text, never cut short.
std::string toNarrowText(const QString &text);

// A count as decimal digits, with a minus sign when negative.
std::string toDecimalText(int value);

// Narrow text shown in the window, one byte per character.
QString fromNarrowText(const std::string &text);
