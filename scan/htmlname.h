#pragma once

#include <string>
#include <string_view>

// Appends a file name as text of the report. The name's bytes are read as
// UTF-8; a byte that is not part of a valid sequence stands for the
// character of its own value. Characters up to U+00FF are written as their
// one byte, except "<" and ">", written "&lt;" and "&gt;"; characters above
// U+00FF are written as decimal character references. An ampersand stays
// one byte unless a browser would take what follows it for a character
// reference; then it is written "&amp;". So every name shows as it is.
void appendHtmlName(std::string &out, std::string_view name);
