#include "reportfile.h"

#include <QFile>
#include <QSaveFile>

int writeFile(const std::string &path, const std::string &content, QString *reason)
{
    const QString fileName = QFile::decodeName(path.c_str());
    if (fileName.isEmpty()) {
        if (reason)
            *reason = QSaveFile::tr("No file name specified");
        return 0;
    }
    QSaveFile file(fileName);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        && file.write(content.data(), qint64(content.size())) == qint64(content.size()) && file.commit();
    if (!written && reason)
        *reason = file.errorString();
    return written ? 1 : 0;
}
