#include "reportopener.h"

#include <QFile>
#include <QProcess>

bool openReport(const std::string &path)
{
    const QString fileName = QFile::decodeName(path.c_str());
    if (fileName.isEmpty())
        return false;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {fileName});
}
