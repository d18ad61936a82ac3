#include "runstatus.h"

#include <QLocale>

#include <algorithm>
#include <cstring>

namespace {

const QLocale &english()
{
    static const QLocale locale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

QString entries(std::uint64_t count)
{
    return english().toString(qulonglong(count));
}

// A stage's name as the status bar begins with it: "Counting".
QString stageTitle(MapStage stage)
{
    QString title = QString::fromLatin1(stageName(stage));
    title[0] = title[0].toUpper();
    return title;
}

// In decimal units, as file managers give sizes: "5.1 MB".
QString size(std::uint64_t bytes)
{
    return english().formattedDataSize(qint64(bytes), 1, QLocale::DataSizeSIFormat);
}

// What a run writes, as a status begins with it.
QString reportName(ReportFormat format)
{
    return QString::fromLatin1(format == ReportFormat::Browse ? "Browsable page" : "Report");
}

// `first` of the paths, one a line, each with its reason as `line` has it,
// and how many more there are.
void listPaths(QStringList &lines, const std::vector<UnreadableDirectory> &paths, std::size_t first, const char *line)
{
    for (std::size_t i = 0; i < std::min(first, paths.size()); ++i)
        lines << QString::fromLatin1(line).arg(QString::fromLocal8Bit(paths[i].path),
                                               QString::fromLocal8Bit(std::strerror(paths[i].error)));
    if (paths.size() > first)
        lines << QString::fromLatin1("and %1 more").arg(entries(paths.size() - first));
}

} // namespace

QString progressCaption(MapStage stage)
{
    switch (stage) {
    case MapStage::Counting:
        return QString::fromLatin1("Calculating # Files and Folders");
    case MapStage::Mapping:
        return QString::fromLatin1("Mapping Files and Folders");
    case MapStage::Writing:
        break;
    }
    return QString::fromLatin1("Writing HTML File");
}

QString progressDone(MapStage stage)
{
    switch (stage) {
    case MapStage::Counting:
        return QString::fromLatin1("<font color=green>Number Files and Folders Calculated</font>");
    case MapStage::Mapping:
        return QString::fromLatin1("<font color=green>Directory Information Mapped</font>");
    case MapStage::Writing:
        break;
    }
    return QString::fromLatin1("<font color=green>HTML Written</font>");
}

QString progressNotWritten()
{
    return QString::fromLatin1("<font color=red>HTML Not Written</font>");
}

QString countingStatus(std::uint64_t entriesSeen)
{
    return QString::fromLatin1("%1: %2 entries").arg(stageTitle(MapStage::Counting), entries(entriesSeen));
}

QString mappingStatus(std::uint64_t entriesMapped, std::uint64_t entriesInAll, std::uint64_t bytesWritten)
{
    return QString::fromLatin1("%1: %2 of %3 entries, %4")
        .arg(stageTitle(MapStage::Mapping), entries(std::min(entriesMapped, entriesInAll)), entries(entriesInAll),
             size(bytesWritten));
}

QString writingStatus(std::uint64_t bytesWritten)
{
    return QString::fromLatin1("%1: %2").arg(stageTitle(MapStage::Writing), size(bytesWritten));
}

QString closingWhenWrittenStatus(std::uint64_t bytesWritten)
{
    return writingStatus(bytesWritten) + QString::fromLatin1("; the window closes once the report is whole");
}

QString writtenStatus(ReportFormat format, const QString &absolutePath, std::uint64_t bytesWritten)
{
    return QString::fromLatin1("%1 written: %2, %3").arg(reportName(format), absolutePath, size(bytesWritten));
}

QString unreadableStatus(std::size_t folders, std::size_t entryCount)
{
    QString status;
    if (folders == 1)
        status = QString::fromLatin1("; 1 folder could not be read");
    else if (folders > 1)
        status = QString::fromLatin1("; %1 folders could not be read").arg(entries(folders));
    if (entryCount == 1)
        status += QString::fromLatin1("; the size of 1 entry could not be read");
    else if (entryCount > 1)
        status += QString::fromLatin1("; the sizes of %1 entries could not be read").arg(entries(entryCount));
    return status;
}

QString cancelledStatus()
{
    return QString::fromLatin1("Map cancelled");
}

QString notWrittenStatus(ReportFormat format, const QString &absolutePath, const QString &reason)
{
    const QString notWritten = reportName(format) + QString::fromLatin1(" not written: ");
    if (!absolutePath.isEmpty())
        return notWritten + QString::fromLatin1("%1: %2").arg(absolutePath, reason);
    if (!reason.isEmpty())
        return notWritten + reason;
    return notWritten + QString::fromLatin1("no output file given");
}

QString notMappedStatus(const QString &absolutePath, const QString &reason)
{
    if (absolutePath.isEmpty())
        return QString::fromLatin1("Not mapped: no root directory given");
    return QString::fromLatin1("Not mapped: %1: %2").arg(absolutePath, reason);
}

QString unreadableList(const std::vector<UnreadableDirectory> &directories, const std::vector<UnreadableDirectory> &entries,
                       std::size_t shown)
{
    QStringList lines;
    listPaths(lines, directories, shown, "%1: %2");
    listPaths(lines, entries, shown, "%1: size not read: %2");
    return lines.join(u'\n');
}
