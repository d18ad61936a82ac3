#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// Lists folders for the completion of typed paths, each on a thread of its
// own that is detached at once: a folder on a file system that does not
// answer holds its thread, never the window, nor the program's end. The
// names come back through listed(), in the event loop; a listing that never
// ends never comes. Only names are read: no icons, no file types, and
// nothing is asked of an entry but whether it is a directory, and that only
// when directories alone are wanted and the folder's listing does not say.
class FolderLister : public QObject
{
    Q_OBJECT

public:
    enum class Entries { All, DirectoriesOnly };

    explicit FolderLister(Entries entries, QObject *parent = nullptr);
    ~FolderLister() override;

    // Starts listing `folder` (a path that ends in "/"), unless it is being
    // listed already, or a folder above it is (likely on the same file
    // system, and as slow), or too many listings have not ended. Gives
    // whether it started.
    bool list(const QString &folder);

signals:
    // The names in the folder, "." and ".." left out, by character code
    // (precedesByCodePoint); none when it could not be read.
    void listed(const QString &folder, const QStringList &names);

private:
    void deliver(const QString &folder, const QStringList &names);

    struct Mailbox;
    const Entries m_entries;
    const std::shared_ptr<Mailbox> m_mailbox;
    QStringList m_underWay;
};
