#include "startup.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QTimer>
#include <QWindow>
#include <QtTest>

// Runs the real start-up code once per road out of the program. A routine that
// Qt calls from the application's constructor arms a timer; the timer finds
// the main window, records the order in which window and application are
// destroyed, and takes the road.

namespace {

QString road;
bool roadTaken = false;
QStringList destructionOrder;
QString desktopFileName;

void armRoad()
{
    // Should the road lead nowhere, end the loop with a code the test rejects.
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    QTimer::singleShot(0, [] {
        QMainWindow *window = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (widget->inherits("Velmora"))
                window = qobject_cast<QMainWindow *>(widget);
        if (!window || !window->isVisible())
            return;
        QObject::connect(window, &QObject::destroyed, [] { destructionOrder << "window"; });
        QObject::connect(qApp, &QObject::destroyed, [] { destructionOrder << "application"; });
        roadTaken = true;
        desktopFileName = QGuiApplication::desktopFileName();
        if (road == "exit button")
            window->findChild<QAbstractButton *>("exitButton")->click();
        else if (road == "File > Exit")
            window->findChild<QAction *>("actionExit")->trigger();
        else if (road == "close box")
            window->windowHandle()->close();
        else if (road == "Return on the Exit button" || road == "Enter on the Exit button") {
            auto *exitButton = window->findChild<QAbstractButton *>("exitButton");
            exitButton->setFocus();
            QTest::keyClick(exitButton, road.startsWith("Return") ? Qt::Key_Return : Qt::Key_Enter);
        }
    });
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void roadsOut_data();
    void roadsOut();
};

void tst_Startup::roadsOut_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("exit button") << "exit button";
    QTest::newRow("File > Exit") << "File > Exit";
    QTest::newRow("close box") << "close box";
    QTest::newRow("Return on the Exit button") << "Return on the Exit button";
    QTest::newRow("Enter on the Exit button") << "Enter on the Exit button";
}

void tst_Startup::roadsOut()
{
    QFETCH(QString, way);
    road = way;
    roadTaken = false;
    destructionOrder.clear();
    qAddPreRoutine(armRoad);

    // An option of no meaning to the program changes nothing.
    QByteArray program = "velmora";
    QByteArray stray = "--no-such-option";
    char *argv[] = {program.data(), stray.data(), nullptr};
    int argc = 2;
    const int exitCode = runVelmora(argc, argv);

    QVERIFY(roadTaken);
    QCOMPARE(exitCode, 0);
    QCOMPARE(destructionOrder, (QStringList{"window", "application"}));
    QCOMPARE(desktopFileName, QString("org.velmora.Velmora"));
}

QTEST_APPLESS_MAIN(tst_Startup)
#include "tst_startup.moc"
