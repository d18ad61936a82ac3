#include "htmlname.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iterator>

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

// The named references a browser reads without a closing semicolon.
constexpr std::string_view namesWithoutSemicolon[] = {
    "AElig", "AMP", "Aacute", "Acirc", "Agrave", "Aring", "Atilde", "Auml", "COPY", "Ccedil", "ETH",
    "Eacute", "Ecirc", "Egrave", "Euml", "GT", "Iacute", "Icirc", "Igrave", "Iuml", "LT", "Ntilde",
    "Oacute", "Ocirc", "Ograve", "Oslash", "Otilde", "Ouml", "QUOT", "REG", "THORN", "Uacute", "Ucirc",
    "Ugrave", "Uuml", "Yacute", "aacute", "acirc", "acute", "aelig", "agrave", "amp", "aring", "atilde",
    "auml", "brvbar", "ccedil", "cedil", "cent", "copy", "curren", "deg", "divide", "eacute", "ecirc",
    "egrave", "eth", "euml", "frac12", "frac14", "frac34", "gt", "iacute", "icirc", "iexcl", "igrave",
    "iquest", "iuml", "laquo", "lt", "macr", "micro", "middot", "nbsp", "not", "ntilde", "oacute",
    "ocirc", "ograve", "ordf", "ordm", "oslash", "otilde", "ouml", "para", "plusmn", "pound", "quot",
    "raquo", "reg", "sect", "shy", "sup1", "sup2", "sup3", "szlig", "thorn", "times", "uacute", "ucirc",
    "ugrave", "uml", "uuml", "yacute", "yen", "yuml",
};

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiLetterOrDigit(char c)
{
    return isAsciiLetter(c) || (c >= '0' && c <= '9');
}

// Whether a browser would read an ampersand followed by `rest` as the start
// of a character reference rather than as the character itself.
bool startsReference(std::string_view rest)
{
    if (rest.empty())
        return false;
    if (rest[0] == '#')
        return true;
    if (!isAsciiLetter(rest[0]))
        return false;
    const auto nameEnd = std::find_if_not(rest.begin(), rest.end(), isAsciiLetterOrDigit);
    if (nameEnd != rest.end() && *nameEnd == ';')
        return true;
    return std::any_of(std::begin(namesWithoutSemicolon), std::end(namesWithoutSemicolon),
                       [rest](std::string_view name) { return rest.substr(0, name.size()) == name; });
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
        if (byte < 0x80 && byte != '<' && byte != '>' && byte != '&' && byte != '\r') {
            ++i;
            continue;
        }
        out.append(name, plainStart, i - plainStart);
        if (byte == '<' || byte == '>') {
            out.append(byte == '<' ? "&lt;" : "&gt;");
            ++i;
        } else if (byte == '&') {
            out.append(startsReference(name.substr(i + 1)) ? "&amp;" : "&");
            ++i;
        } else if (byte == '\r') {
            // A browser would read a raw carriage return as a line feed.
            appendReference(out, U'\r');
            ++i;
        } else {
            char32_t codePoint;
            const std::size_t length = decodeSequence(name.substr(i), codePoint);
            // A byte outside a valid sequence stands for the character of its value.
            appendReference(out, length == 0 ? char32_t(byte) : codePoint);
            i += length == 0 ? 1 : length;
        }
        plainStart = i;
    }
    out.append(name, plainStart, name.size() - plainStart);
}
