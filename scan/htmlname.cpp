#include "htmlname.h"

#include <charconv>
#include <cstdint>

namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Decodes the UTF-8 sequence starting at `text[0]`, whose lead byte is
// 0x80 or above. Gives its length, or 0 when it is not a valid sequence
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut
// short).
std::size_t decodeSequence(std::string_view text, char32_t &codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuation(byte(i)))
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void appendReference(std::string &out, char32_t codePoint)
{
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, std::uint32_t(codePoint));
    out.append("&#").append(digits, result.ptr).push_back(';');
}

} // namespace

void appendHtmlName(std::string &out, std::string_view name)
{
    std::size_t plainStart = 0;
    std::size_t i = 0;
    while (i < name.size()) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80 && byte != '<' && byte != '>') {
            ++i;
            continue;
        }
        out.append(name, plainStart, i - plainStart);
        if (byte == '<' || byte == '>') {
            out.append(byte == '<' ? "&lt;" : "&gt;");
            ++i;
        } else {
            char32_t codePoint;
            const std::size_t length = decodeSequence(name.substr(i), codePoint);
            if (length == 0) {
                out.push_back(char(byte));
                ++i;
            } else {
                if (codePoint <= 0xFF)
                    out.push_back(char(codePoint));
                else
                    appendReference(out, codePoint);
                i += length;
            }
        }
        plainStart = i;
    }
    out.append(name, plainStart, name.size() - plainStart);
}
