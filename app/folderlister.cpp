#include "folderlister.h"

#include "codepointorder.h"

#include <QFile>
#include <QMetaObject>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Listings that have not ended, a hung one among them, before no more are
// started: each hung one holds a thread until its file system answers.
constexpr qsizetype mostUnderWay = 8;

bool isDirectory(DIR *folder, const dirent &entry)
{
    if (entry.d_type == DT_DIR)
        return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return false;
    struct stat status;
    return ::fstatat(::dirfd(folder), entry.d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
}

QStringList namesIn(const QByteArray &path, FolderLister::Entries entries)
{
    QStringList names;
    DIR *folder = ::opendir(path.constData());
    if (!folder)
        return names;
    while (const dirent *entry = ::readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (entries == FolderLister::Entries::DirectoriesOnly && !isDirectory(folder, *entry))
            continue;
        names << QFile::decodeName(entry->d_name);
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end(), precedesByCodePoint);
    return names;
}

} // namespace

// The lister is set and cleared under the mutex, so no listing ever posts to
// one that is gone; one that goes takes its posted calls with it.
struct FolderLister::Mailbox
{
    std::mutex mutex;
    FolderLister *lister = nullptr;
};

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
    if (m_underWay.size() >= mostUnderWay)
        return false;
    for (const QString &listing : std::as_const(m_underWay)) {
        if (folder.startsWith(listing))
            return false;
    }
    try {
        std::thread([mailbox = m_mailbox, folder, path = QFile::encodeName(folder), entries = m_entries] {
            const QStringList names = namesIn(path, entries);
            const std::lock_guard<std::mutex> lock(mailbox->mutex);
            if (FolderLister *lister = mailbox->lister)
                QMetaObject::invokeMethod(lister, [lister, folder, names] { lister->deliver(folder, names); },
                                          Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error &) {
        return false;
    }
    m_underWay << folder;
    return true;
}

void FolderLister::deliver(const QString &folder, const QStringList &names)
{
    m_underWay.removeOne(folder);
    emit listed(folder, names);
}
