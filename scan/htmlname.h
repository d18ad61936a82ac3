#pragma once

#include <string>
#include <string_view>

// Appends a file name as text of the report, in ASCII only, so that no
// browser's guess of the report's character set changes what it shows. The
// name's bytes are read as UTF-8; a byte that is not part of a valid
// sequence stands for the character of its own value. Every character from
// U+0080 up, and the carriage return, is written as a decimal character
// reference; "<" and ">" as "&lt;" and "&gt;"; every other character as its
// one byte. An ampersand stays one byte unless a browser would take what
// follows it for a character reference; then it is written "&amp;". So every
// name shows as it is.
void appendHtmlName(std::string &out, std::string_view name);
