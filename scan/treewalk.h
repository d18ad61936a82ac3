#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Receives the tree below a root, depth first, each directory's entries in
// the order of its listing. Names are valid only during the call.
class TreeVisitor
{
public:
    virtual ~TreeVisitor() = default;

    // An entry that is not a directory.
    virtual void file(std::string_view name) = 0;
    // A subdirectory. Its own entries follow, up to the matching directoryEnd().
    virtual void directoryBegin(std::string_view name) = 0;
    virtual void directoryEnd() = 0;
    // The directory whose entries would follow now (the root, or the
    // subdirectory just begun) could not be opened, for the reason `error`
    // (an errno value).
    virtual void directoryUnreadable(int error) = 0;
};

// Called every `interval` entries with the number of entries seen so far.
struct WalkProgress
{
    std::function<void(std::uint64_t entriesSeen)> report;
    std::uint64_t interval = 16384;
};

// Counts entries and calls the progress hook every `interval` of them.
// Without a hook, counting costs a decrement.
class ProgressCounter
{
public:
    explicit ProgressCounter(const WalkProgress *progress);

    void count()
    {
        ++m_seen;
        if (--m_untilReport == 0)
            report();
    }

private:
    void report();

    const WalkProgress *m_progress;
    std::uint64_t m_seen = 0;
    std::uint64_t m_untilReport;
};

// Walks the tree below `rootPath` (used up to its first zero byte). A
// directory counts as one when its entry, links followed, is a directory. A
// directory already on the path from the root (a link or mount leading back
// to an ancestor) is begun and ended without being entered again. The walk
// keeps its own stack and only a bounded number of directories open, so no
// tree is too deep for it; it holds no more descriptors than are free when
// it starts. Below a root that is not on a kernel pseudo file system (/proc,
// /sys, ...), a directory on one is begun and ended without being entered.
void walkTree(const std::string &rootPath, TreeVisitor &visitor, const WalkProgress *progress = nullptr);
