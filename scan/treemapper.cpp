#include "treemapper.h"

#include "htmlname.h"
#include "treewalk.h"

TreeMapper::TreeMapper(ListedEntries listed, std::string &output)
    : m_listFiles(listed == ListedEntries::FilesAndDirectories)
    , m_output(output)
{
}

void TreeMapper::file(std::string_view name)
{
    if (!m_listFiles)
        return;
    m_output.append("<li>");
    appendHtmlName(m_output, name);
    m_output.append("</li>");
}

void TreeMapper::directoryBegin(std::string_view name)
{
    m_output.append("<b><li>");
    appendHtmlName(m_output, name);
    m_output.append("</li></b><ul>");
}

void TreeMapper::directoryEnd()
{
    m_output.append("</ul>");
}

void TreeMapper::directoryUnreadable(int)
{
}

void TreeMapper::directoryNotEntered(NotEnteredReason)
{
}

void mapDirectory(const std::string &path, int listFiles, std::string &output)
{
    TreeMapper mapper(listFiles == 1 ? ListedEntries::FilesAndDirectories : ListedEntries::DirectoriesOnly, output);
    output.append("<ul>");
    walkTree(path, mapper);
    output.append("</ul>");
}
