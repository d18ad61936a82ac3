#include "wildcardmatch.h"

#include <cstring>

namespace {

enum class Outcome {
    NoMatch,
    Match,
    // Nothing after this point can match: no later start of the text can
    // help any "*" before it.
    GiveUp,
    // Only a "**" before this point can help, by taking a "/" a "*" cannot.
    GiveUpToDoubleStar,
};

using Byte = unsigned char;

bool inNamedClass(std::string_view name, Byte c)
{
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    const bool digit = c >= '0' && c <= '9';
    const bool graph = c > 0x20 && c < 0x7F;
    if (name == "alnum")
        return upper || lower || digit;
    if (name == "alpha")
        return upper || lower;
    if (name == "blank")
        return c == ' ' || c == '\t';
    if (name == "cntrl")
        return c < 0x20 || c == 0x7F;
    if (name == "digit")
        return digit;
    if (name == "graph")
        return graph;
    if (name == "lower")
        return lower;
    if (name == "print")
        return graph || c == ' ';
    if (name == "punct")
        return graph && !upper && !lower && !digit;
    if (name == "space")
        return c == ' ' || (c >= '\t' && c <= '\r');
    if (name == "upper")
        return upper;
    if (name == "xdigit")
        return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    return false;
}

bool isNamedClass(std::string_view name)
{
    for (const char *known : {"alnum", "alpha", "blank", "cntrl", "digit", "graph", "lower", "print", "punct", "space",
                              "upper", "xdigit"})
        if (name == known)
            return true;
    return false;
}

class Matcher
{
public:
    Matcher(std::string_view pattern, std::string_view text)
        : m_pattern(reinterpret_cast<const Byte *>(pattern.data()))
        , m_patternEnd(m_pattern + pattern.size())
        , m_text(reinterpret_cast<const Byte *>(text.data()))
        , m_textEnd(m_text + text.size())
    {
    }

    bool matches() const { return match(m_pattern, m_text) == Outcome::Match; }

private:
    Outcome match(const Byte *p, const Byte *t) const
    {
        for (; p < m_patternEnd; ++p, ++t) {
            if (t == m_textEnd && *p != '*')
                return Outcome::GiveUp;
            switch (*p) {
            case '\\':
                if (++p == m_patternEnd || *t != *p)
                    return Outcome::NoMatch;
                break;
            case '?':
                if (*t == '/')
                    return Outcome::NoMatch;
                break;
            case '*':
                return star(p, t);
            case '[': {
                bool matched = false;
                p = matchClass(p, *t, matched);
                if (!p)
                    return Outcome::GiveUp;
                if (!matched)
                    return Outcome::NoMatch;
                break;
            }
            default:
                if (*t != *p)
                    return Outcome::NoMatch;
                break;
            }
        }
        return t == m_textEnd ? Outcome::Match : Outcome::NoMatch;
    }

    // At the first "*" of a run of them.
    Outcome star(const Byte *p, const Byte *t) const
    {
        const bool crossesSlashes = p + 1 < m_patternEnd && p[1] == '*';
        while (p < m_patternEnd && *p == '*')
            ++p;
        if (p == m_patternEnd)
            return crossesSlashes || !std::memchr(t, '/', std::size_t(m_textEnd - t)) ? Outcome::Match
                                                                                      : Outcome::NoMatch;
        for (; t < m_textEnd; ++t) {
            const Outcome rest = match(p, t);
            if (rest != Outcome::NoMatch) {
                if (!crossesSlashes || rest != Outcome::GiveUpToDoubleStar)
                    return rest;
            } else if (!crossesSlashes && *t == '/') {
                return Outcome::GiveUpToDoubleStar;
            }
        }
        return Outcome::GiveUp;
    }

    // At the "[" of a class: whether `c` is in it, and where the class ends
    // (its "]"); null when it does not end.
    const Byte *matchClass(const Byte *p, Byte c, bool &matched) const
    {
        ++p;
        const bool negated = p < m_patternEnd && (*p == '!' || *p == '^');
        if (negated)
            ++p;
        bool inClass = false;
        bool first = true;
        int previous = -1; // a byte that may start a range
        for (;; ++p, first = false) {
            if (p == m_patternEnd)
                return nullptr;
            if (*p == ']' && !first)
                break;
            if (*p == '\\') {
                if (++p == m_patternEnd)
                    return nullptr;
                inClass = inClass || c == *p;
                previous = *p;
            } else if (*p == '-' && previous >= 0 && p + 1 < m_patternEnd && p[1] != ']') {
                ++p;
                if (*p == '\\' && ++p == m_patternEnd)
                    return nullptr;
                inClass = inClass || (c >= previous && c <= *p);
                previous = -1;
            } else if (*p == '[' && p + 1 < m_patternEnd && p[1] == ':') {
                const Byte *name = p + 2;
                const Byte *close = name;
                while (close < m_patternEnd && *close != ']')
                    ++close;
                if (close == m_patternEnd)
                    return nullptr;
                if (close - name < 1 || close[-1] != ':') { // no ":]": a plain "["
                    inClass = inClass || c == '[';
                    previous = '[';
                    continue;
                }
                const std::string_view className(reinterpret_cast<const char *>(name), std::size_t(close - 1 - name));
                if (!isNamedClass(className))
                    return nullptr;
                inClass = inClass || inNamedClass(className, c);
                p = close;
                previous = -1;
            } else {
                inClass = inClass || c == *p;
                previous = *p;
            }
        }
        matched = inClass != negated && c != '/';
        return p;
    }

    const Byte *const m_pattern;
    const Byte *const m_patternEnd;
    const Byte *const m_text;
    const Byte *const m_textEnd;
};

} // namespace

bool wildcardMatch(std::string_view pattern, std::string_view text)
{
    return Matcher(pattern, text).matches();
}
