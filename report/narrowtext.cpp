#include "narrowtext.h"

#include <QFile>

std::string toNarrowText(const QString &text)
{
    const QByteArray encoded = QFile::encodeName(text);
    return std::string(encoded.constData(), std::size_t(encoded.size()));
}

QString fromNarrowText(const std::string &text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}
