#pragma once

#include <string>
#include <string_view>

// Appends `text` as a JSON string, quotes included, in printable ASCII only,
// for data inside an HTML script element. The bytes are read as UTF-8; a
// byte that is not part of a valid sequence stands for the character of its
// own value (U+0080 to U+00FF), as the report shows such names. Every
// character from U+0080 up is written as \uXXXX (a surrogate pair above
// U+FFFF), and so are the control characters and "<", ">" and "&", so that
// nothing in it can end the script element or be read as markup; quotes
// and backslashes are escaped as JSON has them.
void appendAsciiJsonString(std::string &out, std::string_view text);
