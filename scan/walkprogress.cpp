#include "walkprogress.h"

#include <limits>

ProgressCounter::ProgressCounter(const WalkProgress *progress)
    : m_progress(progress && progress->report && progress->interval ? progress : nullptr)
    , m_untilReport(m_progress ? m_progress->interval : std::numeric_limits<std::uint64_t>::max())
{
}

void ProgressCounter::report()
{
    m_untilReport = m_progress->interval;
    m_progress->report(m_seen);
}
