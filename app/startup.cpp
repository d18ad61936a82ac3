#include "startup.h"

#include "velmora.h"

#include <QApplication>

int runVelmora(int &argc, char **argv)
{
    QApplication application(argc, argv);
    // Lets the desktop match the window to org.velmora.Velmora.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmora.Velmora"));
    Velmora window;
    window.show();
    QObject::connect(&application, SIGNAL(lastWindowClosed()), &application, SLOT(quit()));
    return application.exec();
}
