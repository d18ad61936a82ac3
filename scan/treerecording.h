#pragma once

#include "treewalk.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Keeps what a walk visits, compactly, so that the tree can be listed once
// and visited again by any number of visitors, in the same order.
class TreeRecording : public TreeVisitor
{
public:
    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable() override;

    // Marks the place of a directory's entries that are recorded on their
    // own, possibly later and by another thread, into the recording given.
    TreeRecording &addSubtree();

    // Visits everything recorded, subtrees in their places, in order.
    void replay(TreeVisitor &visitor, const WalkProgress *progress = nullptr) const;

    // Bytes of all names recorded, subtrees included.
    std::uint64_t nameBytes() const;
    void clear();

private:
    void appendLength(std::size_t length);
    void appendName(char kind, std::string_view name);
    void replayInto(TreeVisitor &visitor, ProgressCounter &progress) const;

    std::string m_events;
    std::vector<std::unique_ptr<TreeRecording>> m_subtrees;
    std::uint64_t m_nameBytes = 0;
};
