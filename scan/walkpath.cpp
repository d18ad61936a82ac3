#include "walkpath.h"

WalkPath::WalkPath(int baseFd, std::string startPath, std::vector<DirectoryIdentity> ancestors, const EntryTable &entries)
    : m_baseFd(baseFd)
    , m_startPath(startPath.c_str())
    , m_ancestors(std::move(ancestors))
    , m_entries(entries)
    , m_onPath(m_ancestors.begin(), m_ancestors.end())
{
}

void WalkPath::push(const DirectoryIdentity &identity, bool exactListingInodes, std::size_t nameEntry)
{
    const std::size_t pathBytes = m_levels.empty()
        ? m_startPath.size()
        : m_levels.back().pathBytes + 1 + m_entries[nameEntry].nameLength;
    m_levels.push_back({identity, exactListingInodes, nameEntry, pathBytes});
    m_onPath.insert(identity);
}

void WalkPath::pop()
{
    m_onPath.erase(m_levels.back().identity);
    m_levels.pop_back();
}

std::vector<DirectoryIdentity> WalkPath::identitiesThrough(std::size_t level) const
{
    std::vector<DirectoryIdentity> identities = m_ancestors;
    for (std::size_t k = 0; k <= level; ++k)
        identities.push_back(m_levels[k].identity);
    return identities;
}

std::string WalkPath::pathFromStart(std::size_t level, std::string_view name) const
{
    std::string path;
    for (std::size_t k = 1; k <= level; ++k)
        path.append(this->name(k)).push_back('/');
    return path.append(name);
}
