#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One exclude pattern, matched as rsync matches its exclude patterns against
// an entry below the root (the root itself is never matched):
// - a pattern without "/" (but for a trailing one) and without "**" matches
//   the entry's name, at any depth;
// - one that starts with "/" is anchored at the root: it matches the entry's
//   whole path from the root ("/a/b" is the entry b in the root's a);
// - any other one with a "/" matches the end of the path: as many names as
//   it has, so "a/b" matches every b whose parent is named a;
// - one with "**" elsewhere matches from the start of any name on the path,
//   and one that starts with "**" the whole path, so that "**/b" matches b
//   at the top too;
// - one that ends in "/" matches directories only; one that ends in "/***"
//   the directory before it and everything below it;
// - "*", "?", "[...]" and "\" work as wildcardMatch says, but only where the
//   pattern holds "*", "?" or "["; elsewhere a backslash is a plain byte.
class ExcludePattern
{
public:
    enum class Match { No, Yes, IfDirectory };

    // An entry's path from the root with "/" in front ("/a/b/name"), made
    // only when a pattern needs it, in a buffer the caller keeps.
    class EntryPath
    {
    public:
        // `directoryPath` is the path of the entry's directory, "/" before
        // each name, and empty for the root.
        EntryPath(std::string &buffer, std::string_view directoryPath, std::string_view name)
            : m_buffer(buffer)
            , m_directoryPath(directoryPath)
            , m_name(name)
        {
        }
        std::string_view slashed()
        {
            if (!m_made)
                m_buffer.assign(m_directoryPath).append(1, '/').append(m_name);
            m_made = true;
            return m_buffer;
        }

    private:
        std::string &m_buffer;
        const std::string_view m_directoryPath;
        const std::string_view m_name;
        bool m_made = false;
    };

    explicit ExcludePattern(std::string_view pattern);

    // Whether it is matched against the entry's path, not its name alone.
    bool needsPath() const { return m_place != Place::Name; }
    // Whether it matches the entry `name` at `path`; IfDirectory when it
    // matches only if the entry is a directory.
    Match match(std::string_view name, EntryPath &path) const;

private:
    enum class Place {
        Name,          // the entry's name
        Path,          // its path from the root
        LastNames,     // the last m_lastNames names of its path
        AnyNameStart,  // its path from the start of any of its names
        SlashedPath,   // its path with "/" in front
    };

    bool matchesAt(std::string_view name, EntryPath &path) const;
    bool matchesText(std::string_view text) const;

    std::string m_body;         // what is matched: without the anchoring "/" and a trailing "/" or "/***"
    // What every text it matches ends with: the bytes after its last
    // wildcard, backslash or "/". Every text ends with the entry's name, so
    // the name alone tells most entries apart, before any path is made.
    std::string m_end;
    Place m_place = Place::Name;
    std::size_t m_lastNames = 1;
    bool m_wild = false;              // holds "*", "?" or "["
    bool m_directoriesOnly = false;   // ends in "/" or "/***"
};
