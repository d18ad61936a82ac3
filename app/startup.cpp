#include "startup.h"

#include "velmora.h"

#include <QApplication>

int runVelmora(int &argc, char **argv)
{
    QApplication application(argc, argv);
    Velmora window;
    window.show();
    QObject::connect(&application, SIGNAL(lastWindowClosed()), &application, SLOT(quit()));
    return application.exec();
}
