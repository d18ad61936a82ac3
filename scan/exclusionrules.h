#pragma once

#include "excludepattern.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The exclude patterns of one run, and what they have matched so far, for
// the walks of all its threads at once. An entry is excluded when any
// pattern matches it; every pattern that matches an entry a walk sees is
// noted, so that those that never did can be named at the end.
class ExclusionRules
{
public:
    explicit ExclusionRules(std::vector<std::string> patterns);

    // Whether some pattern is matched against paths, not names alone.
    bool needsPaths() const { return m_needsPaths; }

    // Whether the entry `name` at `path` is excluded. `isDirectory()` is
    // asked only when a pattern for directories matches the entry.
    template <typename IsDirectory>
    bool excludes(std::string_view name, ExcludePattern::EntryPath &path, IsDirectory &&isDirectory)
    {
        bool excluded = false;
        for (std::size_t i = 0; i < m_compiled.size(); ++i) {
            std::atomic<bool> &matched = m_matched[i];
            // Once the entry is out, only patterns not yet noted need trying.
            if (excluded && matched.load(std::memory_order_relaxed))
                continue;
            const ExcludePattern::Match match = m_compiled[i].match(name, path);
            if (match == ExcludePattern::Match::No || (match == ExcludePattern::Match::IfDirectory && !isDirectory()))
                continue;
            excluded = true;
            // Read first, so that walkers share the flag without writing it
            // again and again.
            if (!matched.load(std::memory_order_relaxed))
                matched.store(true, std::memory_order_relaxed);
        }
        return excluded;
    }
    void countExcluded(std::uint64_t entries) { m_excluded.fetch_add(entries, std::memory_order_relaxed); }

    // Once the walks are over: how many entries were excluded (not those
    // below an excluded directory, which no walk saw), and the patterns, as
    // given, that matched nothing.
    std::uint64_t excludedCount() const { return m_excluded.load(std::memory_order_relaxed); }
    std::vector<std::string> unmatched() const;
    // Every pattern, as given.
    const std::vector<std::string> &patterns() const { return m_patterns; }

private:
    std::vector<std::string> m_patterns;
    std::vector<ExcludePattern> m_compiled;
    std::unique_ptr<std::atomic<bool>[]> m_matched;
    bool m_needsPaths = false;
    // Written by every walker: on a cache line of its own.
    alignas(64) std::atomic<std::uint64_t> m_excluded{0};
};
