#include "excludepattern.h"

#include "wildcardmatch.h"

#include <algorithm>

namespace {

bool startsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

bool endsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

} // namespace

ExcludePattern::ExcludePattern(std::string_view pattern)
{
    if (pattern.size() > 1 && pattern.back() == '/') {
        m_directoriesOnly = true;
        pattern.remove_suffix(1);
    }
    m_wild = pattern.find_first_of("*?[") != std::string_view::npos;
    // "dir/***" is dir and everything below it. A walk never enters a
    // directory it excludes, so only dir itself needs matching.
    if (pattern.size() > 4 && endsWith(pattern, "/***")) {
        m_directoriesOnly = true;
        pattern.remove_suffix(4);
    }
    const bool anyDepth = pattern.find("**") != std::string_view::npos;
    const auto slashes = std::size_t(std::count(pattern.begin(), pattern.end(), '/'));
    const bool anchored = !pattern.empty() && pattern.front() == '/';
    if (slashes == 0 && !anyDepth)
        m_place = Place::Name;
    else if (startsWith(pattern, "**"))
        m_place = Place::SlashedPath;
    else if (anchored)
        m_place = Place::Path;
    else if (!anyDepth)
        m_place = Place::LastNames;
    else
        m_place = Place::AnyNameStart;
    m_lastNames = slashes + 1;
    if (anchored)
        pattern.remove_prefix(1);
    m_body = pattern;
    m_end = pattern.substr(pattern.find_last_of("*?[]\\/") + 1);
}

ExcludePattern::Match ExcludePattern::match(std::string_view name, EntryPath &path) const
{
    if (endsWith(name, m_end) && matchesAt(name, path))
        return m_directoriesOnly ? Match::IfDirectory : Match::Yes;
    return Match::No;
}

bool ExcludePattern::matchesAt(std::string_view name, EntryPath &entryPath) const
{
    // Only a pattern matched against the path has it made.
    switch (m_place) {
    case Place::Name:
        return matchesText(name);
    case Place::Path:
        return matchesText(entryPath.slashed().substr(1));
    case Place::SlashedPath:
        return matchesText(entryPath.slashed());
    case Place::LastNames: {
        const std::string_view path = entryPath.slashed().substr(1);
        // A path with fewer names matches nothing.
        std::size_t start = path.size();
        for (std::size_t names = 1; names < m_lastNames; ++names) {
            start = start == 0 ? std::string_view::npos : path.rfind('/', start - 1);
            if (start == std::string_view::npos)
                return false;
        }
        start = start == 0 ? std::string_view::npos : path.rfind('/', start - 1);
        return matchesText(start == std::string_view::npos ? path : path.substr(start + 1));
    }
    case Place::AnyNameStart: {
        const std::string_view path = entryPath.slashed().substr(1);
        for (std::size_t start = 0;; ++start) {
            if (matchesText(path.substr(start)))
                return true;
            start = path.find('/', start);
            if (start == std::string_view::npos)
                return false;
        }
    }
    }
    return false;
}

bool ExcludePattern::matchesText(std::string_view text) const
{
    return m_wild ? wildcardMatch(m_body, text) : m_body == text;
}
