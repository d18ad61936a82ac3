#include "listingstack.h"

#include "exclusionrules.h"

namespace {

bool changeListings(const WalkRules *rules)
{
    return rules
        && (!rules->followLinks || rules->order != EntryOrder::FileSystem || rules->exclusions || rules->readMetadata);
}

// What a directory on a kernel pseudo file system is listed by, where no
// other rules change listings.
const WalkRules linksNotFollowed = [] {
    WalkRules rules;
    rules.followLinks = false;
    return rules;
}();

} // namespace

ListingStack::ListingStack(const WalkRules *rules, std::string startFromRoot)
    : m_rules(changeListings(rules) ? rules : nullptr)
    , m_startFromRoot(std::move(startFromRoot))
{
}

void ListingStack::push(int fd, std::size_t nameEntry, bool onPseudoFileSystem,
                        const DirectoryReader::LeadingFile &leadingFile)
{
    Level level;
    level.firstEntry = m_entries.size();
    level.firstNameByte = m_entries.nameBytes();
    // The links of a pseudo file system lead back into it, or into the whole
    // system, without end.
    if (m_rules)
        level.readError = readUnderRules(fd, nameEntry, onPseudoFileSystem, leadingFile);
    else if (onPseudoFileSystem)
        level.readError = m_reader.readAll(fd, m_entries, linksNotFollowed, {}, leadingFile);
    else
        level.readError = m_reader.readAll(fd, m_entries, leadingFile);
    level.nextEntry = level.firstEntry;
    level.endEntry = m_entries.size();
    for (std::size_t i = level.firstEntry; i < level.endEntry; ++i)
        level.pendingDirectories += m_entries[i].isDirectory;
    m_levels.push_back(level);
}

int ListingStack::readUnderRules(int fd, std::size_t nameEntry, bool linksAsFiles,
                                 const DirectoryReader::LeadingFile &leadingFile)
{
    m_parentPathBytes.push_back(m_directoryPath.size());
    if (m_rules->exclusions && m_rules->exclusions->needsPaths()) {
        const std::string_view name = m_levels.empty() ? m_startFromRoot : m_entries.name(m_entries[nameEntry]);
        if (!name.empty())
            m_directoryPath.append(1, '/').append(name);
    }
    WalkRules rules = *m_rules;
    rules.followLinks = rules.followLinks && !linksAsFiles;
    const std::size_t first = m_entries.size();
    if (rules.order == EntryOrder::FileSystem)
        return m_reader.readAll(fd, m_entries, rules, m_directoryPath, leadingFile);
    // Every entry waits in the table until the whole directory is sorted.
    const int error = m_reader.readAll(fd, m_entries, rules, m_directoryPath, {});
    m_sorter.sort(m_entries, first, rules.order);
    return error;
}
