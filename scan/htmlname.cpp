#include "htmlname.h"

#include "utf8sequence.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <iterator>

namespace {

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

// The bytes written otherwise than as themselves: every name passes through
// here, so the common case is one look-up a byte.
constexpr auto notPlain = [] {
    std::array<bool, 256> table{};
    for (std::size_t byte = 0x80; byte < table.size(); ++byte)
        table[byte] = true;
    for (const unsigned char byte : {'<', '>', '&', '\r'})
        table[byte] = true;
    return table;
}();

} // namespace

void appendHtmlName(std::string &out, std::string_view name)
{
    std::size_t plainStart = 0;
    std::size_t i = 0;
    while (i < name.size()) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (!notPlain[byte]) {
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
            const std::size_t length = decodeUtf8Sequence(name.substr(i), codePoint);
            // A byte outside a valid sequence stands for the character of its value.
            appendReference(out, length == 0 ? char32_t(byte) : codePoint);
            i += length == 0 ? 1 : length;
        }
        plainStart = i;
    }
    out.append(name, plainStart, name.size() - plainStart);
}
