#include "jsontext.h"

#include "utf8sequence.h"

#include <charconv>

namespace {

const char replacementCharacter[] = "\xEF\xBF\xBD";

bool mustEscape(char32_t codePoint)
{
    return codePoint < 0x20 || codePoint == '"' || codePoint == '\\' || (codePoint >= 0x7F && codePoint <= 0x9F)
        || codePoint == 0x2028 || codePoint == 0x2029;
}

void appendEscaped(std::string &out, char32_t codePoint)
{
    switch (codePoint) {
    case '"':
        out.append("\\\"");
        return;
    case '\\':
        out.append("\\\\");
        return;
    case '\b':
        out.append("\\b");
        return;
    case '\f':
        out.append("\\f");
        return;
    case '\n':
        out.append("\\n");
        return;
    case '\r':
        out.append("\\r");
        return;
    case '\t':
        out.append("\\t");
        return;
    default:
        break;
    }
    const char hex[] = "0123456789abcdef";
    out.append("\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(hex[(codePoint >> shift) & 0xF]);
}

} // namespace

bool appendJsonString(std::string &out, std::string_view text)
{
    bool exact = true;
    out.push_back('"');
    std::size_t plainStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char32_t codePoint = byte;
        std::size_t length = 1;
        if (byte >= 0x80)
            length = decodeUtf8Sequence(text.substr(i), codePoint);
        if (length != 0 && !mustEscape(codePoint)) {
            i += length;
            continue;
        }
        out.append(text, plainStart, i - plainStart);
        if (length == 0) {
            out.append(replacementCharacter);
            exact = false;
            ++i;
        } else {
            appendEscaped(out, codePoint);
            i += length;
        }
        plainStart = i;
    }
    out.append(text, plainStart, text.size() - plainStart);
    out.push_back('"');
    return exact;
}

void appendJsonByteArray(std::string &out, std::string_view bytes)
{
    out.push_back('[');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            out.push_back(',');
        char digits[4];
        const auto result = std::to_chars(digits, digits + sizeof digits, unsigned(static_cast<unsigned char>(bytes[i])));
        out.append(digits, result.ptr);
    }
    out.push_back(']');
}
