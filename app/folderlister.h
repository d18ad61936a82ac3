#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

struct FolderProgress;

// Lists folders for the completion of typed paths, each on a thread of its
// own that is detached at once: a folder on a file system that does not
// answer holds its thread, never the window, nor the program's end. The
// names come back through listed(), in the event loop; a listing that never
// ends never comes. Only names are read: no icons, no file types, and
// nothing is asked of an entry but whether it is a directory, and that only
// when directories alone are wanted and the folder's listing does not say.
//
// A listing goes through these states:
//   under way  - the folder is being read; it counts against the listings
//                that may be under way at once, and no folder below it is
//                listed meanwhile.
//   hung       - under way for longer than a listing should take: it no
//                longer counts against those, only against the threads
//                held, so that folders that never answer do not stop the
//                listing of others.
//   checking   - the names have been read, and the links among them are
//                being asked whether they lead to a directory: once that
//                takes a while, the names are given, links not yet checked
//                among them, and the full list follows if the checks end.
class FolderLister : public QObject
{
    Q_OBJECT

public:
    enum class Entries { All, DirectoriesOnly };

    explicit FolderLister(Entries entries, QObject *parent = nullptr);
    ~FolderLister() override;

    // Starts listing `folder` (a path that ends in "/"), unless it is being
    // listed already (its links checked, maybe), or a folder above it is
    // (likely on the same file system, and as slow). Gives whether it started. Where too many
    // listings are under way, the latest folder so refused is listed as
    // soon as one ends or is taken for hung.
    bool list(const QString &folder);

signals:
    // The names in the folder, "." and ".." left out, by character code
    // (precedesByCodePoint); none when it could not be read.
    void listed(const QString &folder, const QStringList &names);

private:
    struct Mailbox;
    struct Listing
    {
        int id = 0;
        QString folder;
        QElapsedTimer started;
        bool answered = false; // its names given, before the checks of its links ended
        std::shared_ptr<FolderProgress> progress;
    };

    bool mayStartAnother() const;
    void start(const QString &folder);
    void namesRead(int id);
    void giveUnchecked(int id);
    void deliver(int id, const QStringList &names);
    void listWaiting();

    const Entries m_entries;
    const std::shared_ptr<Mailbox> m_mailbox;
    QList<Listing> m_listings; // each holds a thread until it ends
    QString m_waiting;         // refused while too many were under way
    int m_nextId = 0;
};
