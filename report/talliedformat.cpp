#include "talliedformat.h"

#include "reasontext.h"

#include <cassert>

TalliedFormat::TalliedFormat(const MapHeading &heading)
    : m_tally(*heading.tally)
{
}

TalliedFormat::Directory TalliedFormat::nextDirectory()
{
    assert(m_directory < m_tally.directoryCount());
    Directory directory{m_tally.counts(m_directory), nullptr};
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
