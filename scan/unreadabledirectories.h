#pragma once

#include "treevisitor.h"

#include <string>
#include <vector>

struct UnreadableDirectory
{
    std::string path; // from the root as given, "/" between names, nothing normalised
    int error = 0;    // errno
};

// Notes the path and the reason of every directory that could not be read.
class UnreadableDirectories : public TreeVisitor
{
public:
    explicit UnreadableDirectories(std::string rootPath);

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable(int error) override;
    void directoryNotEntered(NotEnteredReason reason) override;

    const std::vector<UnreadableDirectory> &found() const { return m_found; }

private:
    std::string m_path;
    std::vector<std::size_t> m_parentLengths;
    std::vector<UnreadableDirectory> m_found;
};
