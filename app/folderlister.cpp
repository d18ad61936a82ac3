#include "folderlister.h"

#include "codepointorder.h"

#include <QFile>
#include <QMetaObject>
#include <QTimer>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Listings under way, and not yet taken for hung, before no more are
// started: a user types one folder at a time.
constexpr qsizetype mostUnderWay = 8;
// How long a listing may take before it is taken for hung: a share that
// still answers lists a folder in far less.
constexpr std::chrono::milliseconds hungAfter{1000};
// Threads held by listings, hung ones among them, before no more are
// started: each waits in the kernel until its file system answers.
constexpr qsizetype mostThreadsHeld = 64;
// How long the names wait for the checks of the links among them before
// they are given with the links not yet checked: a link into a share that
// does not answer would hold them up for ever.
constexpr std::chrono::milliseconds linkPatience{250};

void sortByCodePoint(QStringList &names)
{
    std::sort(names.begin(), names.end(), precedesByCodePoint);
}

} // namespace

// The lister is set and cleared under the mutex, so no listing ever posts to
// one that is gone; one that goes takes its posted calls with it.
struct FolderLister::Mailbox
{
    std::mutex mutex;
    FolderLister *lister = nullptr;
};

// What a listing has found so far, shared by its thread and the lister.
struct FolderProgress
{
    std::mutex mutex;
    QStringList names;     // known to be wanted
    QStringList unchecked; // links and entries of no known type, not yet checked
};

namespace {

// Reads the names of `path` into `progress`: first every name, then, when
// directories alone are wanted, whether each link or entry of no known type
// leads to one, one at a time, calling `read` in between where there are
// such. Gives the names wanted, none when the folder could not be read.
QStringList namesIn(const QByteArray &path, bool directoriesOnly, FolderProgress &progress,
                    const std::function<void()> &read)
{
    DIR *folder = ::opendir(path.constData());
    if (!folder)
        return {};
    QStringList names;
    QList<QByteArray> unchecked;
    while (const dirent *entry = ::readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (!directoriesOnly || entry->d_type == DT_DIR)
            names << QFile::decodeName(entry->d_name);
        else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
            unchecked << entry->d_name;
    }
    if (!unchecked.isEmpty()) {
        {
            const std::lock_guard<std::mutex> lock(progress.mutex);
            progress.names = names;
            for (const QByteArray &name : std::as_const(unchecked))
                progress.unchecked << QFile::decodeName(name);
        }
        read();
    }
    for (const QByteArray &name : std::as_const(unchecked)) {
        struct stat status;
        const bool isDirectory = ::fstatat(::dirfd(folder), name.constData(), &status, 0) == 0 && S_ISDIR(status.st_mode);
        const QString decoded = QFile::decodeName(name);
        if (isDirectory)
            names << decoded;
        const std::lock_guard<std::mutex> lock(progress.mutex);
        progress.unchecked.removeOne(decoded);
        if (isDirectory)
            progress.names << decoded;
    }
    ::closedir(folder);
    sortByCodePoint(names);
    return names;
}

} // namespace

FolderLister::FolderLister(Entries entries, QObject *parent)
    : QObject(parent)
    , m_entries(entries)
    , m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->lister = this;
}

FolderLister::~FolderLister()
{
    const std::lock_guard<std::mutex> lock(m_mailbox->mutex);
    m_mailbox->lister = nullptr;
}

bool FolderLister::list(const QString &folder)
{
    // A folder whose names were given while its links are still checked is
    // not listed again: a link that never answers would hold one more thread
    // each time.
    for (const Listing &listing : std::as_const(m_listings)) {
        if (listing.folder == folder || (!listing.answered && folder.startsWith(listing.folder)))
            return false;
    }
    if (!mayStartAnother()) {
        m_waiting = folder;
        return false;
    }
    try {
        start(folder);
    } catch (const std::system_error &) {
        return false;
    }
    if (m_waiting == folder)
        m_waiting.clear();
    return true;
}

bool FolderLister::mayStartAnother() const
{
    if (m_listings.size() >= mostThreadsHeld)
        return false;
    const auto underWay = std::count_if(m_listings.begin(), m_listings.end(), [](const Listing &listing) {
        return !listing.answered && !listing.started.hasExpired(hungAfter.count());
    });
    return underWay < mostUnderWay;
}

void FolderLister::start(const QString &folder)
{
    Listing listing;
    listing.id = ++m_nextId;
    listing.folder = folder;
    listing.progress = std::make_shared<FolderProgress>();
    std::thread([mailbox = m_mailbox, id = listing.id, path = QFile::encodeName(folder),
                 directoriesOnly = m_entries == Entries::DirectoriesOnly, progress = listing.progress] {
        auto post = [&mailbox](auto call) {
            const std::lock_guard<std::mutex> lock(mailbox->mutex);
            if (FolderLister *lister = mailbox->lister)
                QMetaObject::invokeMethod(lister, [lister, call] { call(lister); }, Qt::QueuedConnection);
        };
        const QStringList names = namesIn(path, directoriesOnly, *progress, [&] {
            post([id](FolderLister *lister) { lister->namesRead(id); });
        });
        post([id, names](FolderLister *lister) { lister->deliver(id, names); });
    }).detach();
    listing.started.start();
    m_listings << listing;
    QTimer::singleShot(hungAfter, this, &FolderLister::listWaiting);
}

// The names are read, and links among them are being checked.
void FolderLister::namesRead(int id)
{
    QTimer::singleShot(linkPatience, this, [this, id] { giveUnchecked(id); });
}

// Gives the names of a listing whose links are still being checked, those
// links among them.
void FolderLister::giveUnchecked(int id)
{
    const auto listing = std::find_if(m_listings.begin(), m_listings.end(), [id](const Listing &l) { return l.id == id; });
    if (listing == m_listings.end())
        return;
    QStringList names;
    {
        const std::lock_guard<std::mutex> lock(listing->progress->mutex);
        names = listing->progress->names + listing->progress->unchecked;
    }
    sortByCodePoint(names);
    listing->answered = true;
    const QString folder = listing->folder;
    emit listed(folder, names);
    listWaiting();
}

void FolderLister::deliver(int id, const QStringList &names)
{
    const auto listing = std::find_if(m_listings.begin(), m_listings.end(), [id](const Listing &l) { return l.id == id; });
    if (listing == m_listings.end())
        return;
    const QString folder = listing->folder;
    m_listings.erase(listing);
    emit listed(folder, names);
    listWaiting();
}

void FolderLister::listWaiting()
{
    if (!m_waiting.isEmpty() && mayStartAnother())
        list(std::exchange(m_waiting, {}));
}
