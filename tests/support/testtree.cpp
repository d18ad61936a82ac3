#include "testtree.h"

#include <QFile>
#include <QtGlobal>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes `bytes` bytes of data to the file at `path`, made for it; or, not
// `written`, makes its size `bytes` without writing, which leaves a hole.
int sizeFile(const QByteArray &path, bool written, qint64 bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | (written ? O_EXCL : 0), 0644);
    if (fd < 0)
        return -1;
    int result = 0;
    if (written) {
        const QByteArray block(4096, 'v');
        for (qint64 left = bytes; left > 0 && result == 0; left -= block.size())
            result = ::write(fd, block.constData(), size_t(qMin<qint64>(left, block.size()))) > 0 ? 0 : -1;
    } else {
        result = ::ftruncate(fd, off_t(bytes));
    }
    return ::close(fd) == 0 ? result : -1;
}

} // namespace

bool makeTree(const QByteArray &root, const QList<QByteArray> &entries)
{
    for (const QByteArray &entry : entries) {
        const QByteArray kind = entry.left(2);
        int result;
        if (kind == "d:") {
            result = ::mkdir((root + '/' + entry.mid(2)).constData(), 0755);
        } else if (kind == "l:") {
            const qsizetype equals = entry.indexOf('=');
            result = ::symlink(entry.mid(equals + 1).constData(), (root + '/' + entry.mid(2, equals - 2)).constData());
        } else if (kind == "p:") {
            result = ::mkfifo((root + '/' + entry.mid(2)).constData(), 0644);
        } else if (kind == "h:" || kind == "w:" || kind == "s:" || kind == "m:" || kind == "t:") {
            const qsizetype equals = entry.indexOf('=');
            const QByteArray path = root + '/' + entry.mid(2, equals - 2);
            const QByteArray value = entry.mid(equals + 1);
            const timespec times[2] = {{0, UTIME_OMIT}, {time_t(value.toLongLong()), 0}};
            result = kind == "h:" ? ::link((root + '/' + value).constData(), path.constData())
                : kind == "m:"    ? ::chmod(path.constData(), mode_t(value.toUInt(nullptr, 8)))
                : kind == "t:"    ? ::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW)
                                  : sizeFile(path, kind == "w:", value.toLongLong());
        } else {
            const int fd = ::open((root + '/' + entry).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            result = fd < 0 ? -1 : ::close(fd);
        }
        if (result != 0) {
            qWarning("cannot make %s", entry.constData());
            return false;
        }
    }
    return true;
}

QList<QByteArray> linkGraph(const QByteArray &folder, int levels)
{
    QList<QByteArray> entries = {"d:" + folder};
    for (int level = 0; level < levels; ++level) {
        const QByteArray directory = folder + "/L" + QByteArray::number(level);
        entries << "d:" + directory;
        if (level + 1 < levels)
            for (char letter : {'a', 'b'})
                entries << "l:" + directory + '/' + QByteArray(200, letter) + "=../L" + QByteArray::number(level + 1);
    }
    return entries;
}

QList<QByteArray> readdirOrder(const QByteArray &directory)
{
    QList<QByteArray> names;
    DIR *stream = ::opendir(directory.constData());
    if (!stream)
        return names;
    while (const dirent *entry = ::readdir(stream)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(stream);
    return names;
}

QByteArray referenceMap(const QByteArray &directory, int listFiles)
{
    QByteArray out = "<ul>";
    for (const QByteArray &name : readdirOrder(directory)) {
        const QByteArray path = directory + '/' + name;
        struct stat status;
        if (::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode))
            out += "<b><li>" + name + "</li></b>" + referenceMap(path, listFiles);
        else if (listFiles == 1)
            out += "<li>" + name + "</li>";
    }
    return out + "</ul>";
}

int openDescriptorCount()
{
    return int(readdirOrder("/proc/self/fd").size()) - 1; // less the one readdir itself used
}

QByteArray fileContents(const QString &path)
{
    return fileContents(QFile::encodeName(path));
}

bool writeFileContents(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() && file.flush();
}

QByteArray fileContents(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<unreadable>";
    QByteArray contents;
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        contents.append(buffer, got);
    ::close(fd);
    return got == 0 ? contents : QByteArray("<unreadable>");
}

bool makeFlatFolder(const QByteArray &folder, int files)
{
    if (::mkdir(folder.constData(), 0755) != 0)
        return false;
    const int directory = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return false;
    bool made = true;
    for (int i = 0; i < files && made; ++i) {
        const QByteArray name = "f-" + QByteArray::number(i).rightJustified(5, '0');
        const int fd = ::openat(directory, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        made = fd >= 0 && ::close(fd) == 0;
    }
    ::close(directory);
    return made;
}
