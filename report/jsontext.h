#pragma once

#include <string>
#include <string_view>

// Appends `text` as a JSON string, quotes included. Valid UTF-8 is written
// as it is, except that quotes, backslashes and the control characters
// (U+0000 to U+001F, U+007F to U+009F) are escaped, and so are U+2028 and
// U+2029, which JavaScript takes for line breaks. Each byte that is not part
// of a valid UTF-8 sequence is written as U+FFFD; the result then gives
// false, since the string no longer holds the exact bytes.
bool appendJsonString(std::string &out, std::string_view text);

// Appends `bytes` as a JSON array of their values, 0 to 255.
void appendJsonByteArray(std::string &out, std::string_view bytes);
