#include "talliedformat.h"

#include "reasontext.h"

#include <cassert>

TalliedFormat::TalliedFormat(const MapHeading &heading)
    : m_tally(*heading.tally)
    , m_hasSizes(m_tally.hasSizes())
{
}

TalliedFormat::Directory TalliedFormat::nextDirectory()
{
    assert(m_directory < m_tally.directoryCount());
    Directory directory{m_tally.counts(m_directory), nullptr};
    directory.unsearchable = m_tally.unsearchable(m_directory);
    if (m_hasSizes) {
        directory.metadata = m_directory == 0 ? &m_tally.metadataOfRoot() : &m_nextMetadata;
        directory.sizes = &m_tally.sizes(m_directory);
    }
    const auto &reasons = m_tally.reasons();
    if (m_reason < reasons.size() && reasons[m_reason].directory == m_directory)
        directory.reason = &reasons[m_reason++];
    ++m_directory;
    return directory;
}

std::string TalliedFormat::reasonText(const DirectoryTally::Reason &reason)
{
    return reason.notEntered ? notEnteredText(reason.why) : unreadableText(reason.error);
}
