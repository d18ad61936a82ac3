#include "asciijson.h"

#include "utf8sequence.h"

#include <array>

namespace {

// The bytes written otherwise than as themselves: every name passes through
// here, so the common case is one look-up a byte.
constexpr auto notPlain = [] {
    std::array<bool, 256> table{};
    for (std::size_t byte = 0; byte < table.size(); ++byte)
        table[byte] = byte < 0x20 || byte >= 0x7F;
    for (const unsigned char byte : {'"', '\\', '<', '>', '&'})
        table[byte] = true;
    return table;
}();

void appendUnit(std::string &out, char32_t unit)
{
    const char hex[] = "0123456789abcdef";
    out.append("\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(hex[(unit >> shift) & 0xF]);
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
    case '\n':
        out.append("\\n");
        return;
    case '\t':
        out.append("\\t");
        return;
    default:
        break;
    }
    if (codePoint > 0xFFFF) {
        codePoint -= 0x10000;
        appendUnit(out, 0xD800 + (codePoint >> 10));
        appendUnit(out, 0xDC00 + (codePoint & 0x3FF));
    } else {
        appendUnit(out, codePoint);
    }
}

} // namespace

void appendAsciiJsonString(std::string &out, std::string_view text)
{
    out.push_back('"');
    std::size_t plainStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!notPlain[byte]) {
            ++i;
            continue;
        }
        out.append(text, plainStart, i - plainStart);
        char32_t codePoint = byte;
        std::size_t length = 1;
        if (byte >= 0x80) {
            length = decodeUtf8Sequence(text.substr(i), codePoint);
            if (length == 0) {
                codePoint = byte;
                length = 1;
            }
        }
        appendEscaped(out, codePoint);
        i += length;
        plainStart = i;
    }
    out.append(text, plainStart, text.size() - plainStart);
    out.push_back('"');
}
