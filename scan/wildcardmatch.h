#pragma once

#include <string_view>

// Whether `text` matches the wildcard `pattern`, byte by byte whatever the
// locale: "?" matches any one byte but "/", "*" any run of bytes without a
// "/", "**" (or more stars) any run at all; "[...]" one byte of a class,
// other than "/": ranges by byte value, "!" or "^" first to negate, "]"
// first to include it, and the ASCII classes [:alpha:], [:digit:] and the
// like. A backslash takes the next byte as it is. A pattern that ends in a
// lone backslash, or whose class is not closed, matches nothing.
bool wildcardMatch(std::string_view pattern, std::string_view text);
