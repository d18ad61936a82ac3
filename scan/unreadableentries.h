#pragma once

#include "treevisitor.h"
#include "unreadabledirectories.h"

#include <string>
#include <vector>

// Notes the path and the reason of every entry, the root included, whose
// metadata could not be read, in the order of the tree, as
// UnreadableDirectories does for directories that could not be read.
class UnreadableEntries : public TreeVisitor
{
public:
    explicit UnreadableEntries(std::string rootPath);

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable(int) override {}
    void directoryNotEntered(NotEnteredReason) override {}
    void rootMetadata(const EntryMetadata &metadata) override;
    void entryMetadata(const EntryMetadata &metadata) override { m_nextError = metadata.error; }

    // Paths as UnreadableDirectory gives them, with the errno.
    const std::vector<UnreadableDirectory> &found() const { return m_found; }

private:
    void noteNext(std::string_view name);

    std::string m_path;
    std::vector<std::size_t> m_parentLengths;
    int m_nextError = 0; // of the entry told next
    std::vector<UnreadableDirectory> m_found;
};
