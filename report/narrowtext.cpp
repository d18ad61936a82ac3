#include "narrowtext.h"

#include <QFile>

#include <charconv>

std::string toNarrowText(const QString &text)
{
    const QByteArray encoded = QFile::encodeName(text);
    return std::string(encoded.constData(), std::size_t(encoded.size()));
}

std::string toDecimalText(int value)
{
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, result.ptr);
}

QString fromNarrowText(const std::string &text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}
