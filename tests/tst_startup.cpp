#include "hangingmount.h"
#include "scratchdirectory.h"
#include "startup.h"
#include "testtree.h"
#include "velmora.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

// Runs the real start-up code once per road out of the program. A routine that
// Qt calls from the application's constructor arms a timer; the timer finds
// the main window, records the order in which window and application are
// destroyed, and takes the road.

namespace {

QString road;
std::atomic<bool> roadTaken = false;
QStringList destructionOrder;
QString desktopFileName;
const QString duringRun = " during a run";
const QString whileListingHangs = " while a listing hangs";
QString scratch; // holds the tree and the report of a run

void takeRoad(QMainWindow *window, const QString &way)
{
    if (way == "exit button")
        window->findChild<QAbstractButton *>("exitButton")->click();
    else if (way == "File > Exit")
        window->findChild<QAction *>("actionExit")->trigger();
    else if (way == "close box")
        window->windowHandle()->close();
    else if (way == "Return on the Exit button" || way == "Enter on the Exit button") {
        auto *exitButton = window->findChild<QAbstractButton *>("exitButton");
        exitButton->setFocus();
        QTest::keyClick(exitButton, way.startsWith("Return") ? Qt::Key_Return : Qt::Key_Enter);
    }
}

// Starts a map run and takes the road while the tree is listed: the
// listing waits until the GUI thread has taken it. The run goes on in the
// program's event loop, which ends once the window has closed.
void takeRoadDuringRun(Velmora *window, const QString &way)
{
    window->findChild<QLineEdit *>("rootDirectoryLineEdit")->setText(scratch + "/tree");
    window->findChild<QLineEdit *>("outputFileLineEdit")->setText(scratch + "/report.html");
    window->mapRun().setObserver([window, way](MapStage stage, std::uint64_t) {
        if (stage != MapStage::Counting || roadTaken)
            return;
        auto done = std::make_shared<std::promise<void>>();
        QMetaObject::invokeMethod(window, [window, way, done] {
            takeRoad(window, way);
            done->set_value();
        }, Qt::QueuedConnection);
        roadTaken = done->get_future().wait_for(std::chrono::minutes(2)) == std::future_status::ready;
    });
    window->findChild<QAbstractButton *>("mapButton")->click();
}

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
        desktopFileName = QGuiApplication::desktopFileName();
        if (road.endsWith(duringRun)) {
            takeRoadDuringRun(qobject_cast<Velmora *>(window), road.chopped(duringRun.size()));
            return;
        }
        if (road.endsWith(whileListingHangs)) {
            // Typed as a user would: the root field lists the folder for
            // its completions, on a mount that does not answer, once the
            // list of the folder above has come.
            auto *field = window->findChild<QLineEdit *>("rootDirectoryLineEdit");
            field->setFocus();
            for (const QChar c : scratch + "/hu")
                QTest::keyClick(window->windowHandle(), c.toLatin1());
            if (!QTest::qWaitFor([field] { return field->completer()->popup()->isVisible(); }))
                return;
            for (const char c : {'n', 'g', '/'})
                QTest::keyClick(window->windowHandle(), c);
            roadTaken = true;
            takeRoad(window, road.chopped(whileListingHangs.size()));
            return;
        }
        roadTaken = true;
        takeRoad(window, road);
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
    // The run is stopped, the earlier report kept, and the program ends as well.
    QTest::newRow("exit button during a run") << "exit button" + duringRun;
    QTest::newRow("File > Exit during a run") << "File > Exit" + duringRun;
    QTest::newRow("close box during a run") << "close box" + duringRun;
    // Nothing waits for the listing of a folder for completion.
    QTest::newRow("exit button while a listing hangs") << "exit button" + whileListingHangs;
}

void tst_Startup::roadsOut()
{
    QFETCH(QString, way);
    const ScratchDirectory scratchDirectory;
    QVERIFY(scratchDirectory.isValid());
    QVERIFY(makeTree(scratchDirectory.path(), {"d:tree", "tree/a", "d:tree/b", "d:away", "d:hung"}));
    scratch = QFile::decodeName(scratchDirectory.path());
    HangingMount mount(scratchDirectory.path() + "/away", scratchDirectory.path() + "/hung");
    if (way.endsWith(whileListingHangs)) {
        if (!mount.isMounted())
            QSKIP("needs a FUSE mount: " + mount.failure());
        QVERIFY(mount.stop());
        QVERIFY(!mount.answers(200));
    }
    const QByteArray earlier = "<HTML>the earlier report</HTML>";
    QVERIFY(writeFileContents(scratch + "/report.html", earlier));
    road = way;
    roadTaken = false;
    destructionOrder.clear();
    // Qt keeps its pre-routines for every application object made later.
    static const bool armed = (qAddPreRoutine(armRoad), true);
    Q_UNUSED(armed);

    // An option of no meaning to the program changes nothing.
    QByteArray program = "velmora";
    QByteArray stray = "--no-such-option";
    char *argv[] = {program.data(), stray.data(), nullptr};
    int argc = 2;
    QElapsedTimer running;
    running.start();
    const int exitCode = runVelmora(argc, argv);
    const qint64 ran = running.elapsed();

    QVERIFY(roadTaken);
    QVERIFY2(ran < 5000, qPrintable(QString("%1 ms").arg(ran)));
    QCOMPARE(exitCode, 0);
    QCOMPARE(destructionOrder, (QStringList{"window", "application"}));
    QCOMPARE(desktopFileName, QString("org.velmora.Velmora"));
    QCOMPARE(fileContents(scratch + "/report.html"), earlier);
    QCOMPARE(QDir(scratch).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"report.html"});
}

QTEST_APPLESS_MAIN(tst_Startup)
#include "tst_startup.moc"
