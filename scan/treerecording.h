#pragma once

#include "treewalk.h"

#include <cstdint>
#include <string>

// Keeps what a walk visits, compactly, so that the tree can be listed once
// and visited again by any number of visitors, in the same order.
class TreeRecording : public TreeVisitor
{
public:
    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable() override;

    // Visits everything recorded, in the order it was recorded.
    void replay(TreeVisitor &visitor, const WalkProgress *progress = nullptr) const;

    std::uint64_t entryCount() const { return m_entries; }
    // Bytes of all names recorded: a lower bound for a list of them.
    std::uint64_t nameBytes() const { return m_nameBytes; }
    void clear();

private:
    void appendName(char kind, std::string_view name);

    std::string m_events;
    std::uint64_t m_entries = 0;
    std::uint64_t m_nameBytes = 0;
};
