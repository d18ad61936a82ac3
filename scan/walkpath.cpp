#include "walkpath.h"

WalkPath::WalkPath(int baseFd, std::string startPath, std::vector<DirectoryIdentity> ancestors, const EntryTable &entries)
    : m_baseFd(baseFd)
    , m_startPath(startPath.c_str())
    , m_ancestors(std::move(ancestors))
    , m_entries(entries)
    , m_onPath(m_ancestors.begin(), m_ancestors.end())
{
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
