#include "exclusionrules.h"

ExclusionRules::ExclusionRules(std::vector<std::string> patterns)
    : m_patterns(std::move(patterns))
    , m_matched(std::make_unique<std::atomic<bool>[]>(m_patterns.size()))
{
    for (const std::string &pattern : m_patterns) {
        m_compiled.emplace_back(pattern);
        m_needsPaths = m_needsPaths || m_compiled.back().needsPath();
    }
}

std::vector<std::string> ExclusionRules::unmatched() const
{
    std::vector<std::string> unmatched;
    for (std::size_t i = 0; i < m_patterns.size(); ++i)
        if (!m_matched[i].load(std::memory_order_relaxed))
            unmatched.push_back(m_patterns[i]);
    return unmatched;
}
