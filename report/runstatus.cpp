#include "runstatus.h"

#include <QLocale>

#include <algorithm>

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

// In decimal units, as file managers give sizes: "5.1 MB".
QString size(std::uint64_t bytes)
{
    return english().formattedDataSize(qint64(bytes), 1, QLocale::DataSizeSIFormat);
}

} // namespace

QString listingStatus(std::uint64_t entriesSeen)
{
    return QString::fromLatin1("Listing: %1 entries").arg(entries(entriesSeen));
}

QString writingStatus(std::uint64_t entriesMapped, std::uint64_t entriesInAll, std::uint64_t bytesWritten)
{
    return QString::fromLatin1("Writing: %1 of %2 entries, %3")
        .arg(entries(std::min(entriesMapped, entriesInAll)), entries(entriesInAll), size(bytesWritten));
}

QString savingStatus(std::uint64_t bytesWritten)
{
    return QString::fromLatin1("Saving: %1").arg(size(bytesWritten));
}

QString writtenStatus(const QString &absolutePath, std::uint64_t bytesWritten)
{
    return QString::fromLatin1("Report written: %1, %2").arg(absolutePath, size(bytesWritten));
}

QString cancelledStatus()
{
    return QString::fromLatin1("Map cancelled");
}
