#pragma once

#include "treevisitor.h"

// Gives each event to two visitors, so that one replay serves both and the
// recording is read once.
class BothVisitors : public TreeVisitor
{
public:
    BothVisitors(TreeVisitor &first, TreeVisitor &second)
        : m_first(first)
        , m_second(second)
    {
    }

    void file(std::string_view name) override
    {
        m_first.file(name);
        m_second.file(name);
    }
    void directoryBegin(std::string_view name) override
    {
        m_first.directoryBegin(name);
        m_second.directoryBegin(name);
    }
    void directoryEnd() override
    {
        m_first.directoryEnd();
        m_second.directoryEnd();
    }
    void directoryUnreadable(int error) override
    {
        m_first.directoryUnreadable(error);
        m_second.directoryUnreadable(error);
    }
    void directoryNotEntered(NotEnteredReason reason) override
    {
        m_first.directoryNotEntered(reason);
        m_second.directoryNotEntered(reason);
    }
    void rootMetadata(const EntryMetadata &metadata) override
    {
        m_first.rootMetadata(metadata);
        m_second.rootMetadata(metadata);
    }
    void entryMetadata(const EntryMetadata &metadata) override
    {
        m_first.entryMetadata(metadata);
        m_second.entryMetadata(metadata);
    }
    void excluded(std::string_view name) override
    {
        m_first.excluded(name);
        m_second.excluded(name);
    }

private:
    TreeVisitor &m_first;
    TreeVisitor &m_second;
};
