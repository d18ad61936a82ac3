#pragma once

#include <cstddef>
#include <string_view>

// Decodes the UTF-8 sequence at the start of `text`, whose first byte is
// 0x80 or above. Gives its length and sets `codePoint`, or gives 0 when it
// is not a valid sequence: a stray continuation byte, an overlong form, a
// surrogate, a code point beyond U+10FFFF, or a sequence cut short.
std::size_t decodeUtf8Sequence(std::string_view text, char32_t &codePoint);
