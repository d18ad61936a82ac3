#include "applicationicon.h"

#include <QString>

QIcon applicationIcon()
{
    QIcon icon;
    // Given no size, the icon reads each image's own size from its file.
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/velmora.png").arg(size));
    return icon;
}
