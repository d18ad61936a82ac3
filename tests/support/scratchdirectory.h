#pragma once

#include <QByteArray>

// A fresh directory below the system's temporary folder, removed with all it
// holds when the object goes out of scope, however deep the tree below it.
class ScratchDirectory
{
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    const QByteArray &path() const { return m_path; }

private:
    QByteArray m_path;
};

// Removes a tree of any depth, working relative to open directories so that
// no path grows long. Restores search and write permission where needed.
bool removeTree(const QByteArray &path);
