#include "childprocess.h"
#include "openerstandin.h"
#include "reportdocument.h"
#include "scratchdirectory.h"
#include "testtree.h"
#include "treecounter.h"
#include "treemapper.h"
#include "velmora.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(MapStage)

namespace {

const QString counting = "Calculating # Files and Folders";
const QString mapping = "Mapping Files and Folders";
const QString writing = "Writing HTML File";
const QString counted = "<font color=green>Number Files and Folders Calculated</font>";
const QString mapped = "<font color=green>Directory Information Mapped</font>";
const QString written = "<font color=green>HTML Written</font>";
const QString notWritten = "<font color=red>HTML Not Written</font>";

// The three progress labels as a user sees them: "+" enabled, "-" greyed.
using LabelState = QStringList;

LabelState state(bool on1, const QString &text1, bool on2, const QString &text2, bool on3, const QString &text3)
{
    auto label = [](bool on, const QString &text) { return (on ? "+ " : "- ") + text; };
    return {label(on1, text1), label(on2, text2), label(on3, text3)};
}

// The states a complete run passes through, ending with `last` on the third label.
QList<LabelState> completeRun(const QString &last)
{
    return {
        state(false, counting, false, mapping, false, writing),
        state(true, counting, false, mapping, false, writing),
        state(true, counted, false, mapping, false, writing),
        state(true, counted, true, mapping, false, writing),
        state(true, counted, true, mapped, false, writing),
        state(true, counted, true, mapped, true, writing),
        state(true, counted, true, mapped, true, last),
    };
}

QList<LabelState> runEndedAtRootCheck()
{
    return completeRun({}).mid(0, 2);
}

// The states of a run stopped after `statesBefore` states of a complete one:
// the labels keep those, and the third one says that nothing was written.
QList<LabelState> stoppedRun(int statesBefore)
{
    QList<LabelState> states = completeRun({}).mid(0, statesBefore);
    LabelState last = states.last();
    last[2] = "+ " + notWritten;
    return states << last;
}

// While it lives, a test run as root acts as nobody, whom folders of mode 0
// keep out; one run by anybody else is kept out of them already.
class ActingAsNobody
{
public:
    ActingAsNobody()
        : m_wasRoot(::geteuid() == 0)
        , m_acting(!m_wasRoot || ::seteuid(65534) == 0)
    {
    }
    ~ActingAsNobody()
    {
        if (m_wasRoot && m_acting && ::seteuid(0) != 0)
            qFatal("cannot become root again");
    }
    ActingAsNobody(const ActingAsNobody &) = delete;
    ActingAsNobody &operator=(const ActingAsNobody &) = delete;

    bool isActing() const { return m_acting; }

private:
    const bool m_wasRoot;
    const bool m_acting;
};

struct Box
{
    QString title;
    QString text;
};

// Drives the real window. While Map runs, a zero timer fires whenever the
// run lets events through: it notes each new state of the progress labels
// and closes any message box, noting its title and text.
class WindowDriver
{
public:
    WindowDriver()
    {
        window.show();
        m_ticker.setInterval(0);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { observe(); });
    }

    QLineEdit *root() { return window.findChild<QLineEdit *>("rootDirectoryLineEdit"); }
    QLineEdit *output() { return window.findChild<QLineEdit *>("outputFileLineEdit"); }
    QRadioButton *directoriesOnly() { return window.findChild<QRadioButton *>("directoryOnlyRadioButton"); }
    QRadioButton *filesToo() { return window.findChild<QRadioButton *>("radioButton_2"); }
    QCheckBox *openBox() { return window.findChild<QCheckBox *>("openCheckBox"); }
    QLabel *progress(int n) { return window.findChild<QLabel *>("appProgress" + QString::number(n)); }

    void fill(const QString &rootText, const QString &outputText)
    {
        type(root(), rootText);
        type(output(), outputText);
    }

    // Types the text into the field as key presses, one character at a time.
    static void type(QLineEdit *field, const QString &text)
    {
        field->clear();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype length = text.at(i).isHighSurrogate() ? 2 : 1;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, length));
            QApplication::sendEvent(field, &press);
            i += length - 1;
        }
        QCOMPARE_EQ(field->text(), text);
    }

    // Clicks Map, or presses the key on it, and gives back once the run is over.
    void map(Qt::Key key = Qt::Key_unknown)
    {
        states.clear();
        boxes.clear();
        m_ticker.start();
        auto *button = window.findChild<QPushButton *>("mapButton");
        if (key == Qt::Key_unknown) {
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            button->setFocus();
            QTest::keyClick(button, key);
        }
        // A stopped run may end without handling an event after its last
        // change of the labels; the window shows it once back in its loop.
        observe();
        m_ticker.stop();
    }

    LabelState labels()
    {
        LabelState now;
        for (int n = 1; n <= 3; ++n)
            now << (progress(n)->isEnabled() ? "+ " : "- ") + progress(n)->text();
        return now;
    }

    Velmora window;
    QList<LabelState> states;
    QList<Box> boxes;

private:
    void observe()
    {
        if (states.isEmpty() || states.last() != labels())
            states << labels();
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << Box{box->windowTitle(), box->text()};
            box->accept();
        }
    }

    QTimer m_ticker;
};

// The report as the counting walk and the mapping walk make it, each on its
// own, without the window's single listing of the tree.
QByteArray expectedReport(const QString &root, bool directoriesOnly)
{
    const std::string path = QFile::encodeName(root).toStdString();
    int files = 0;
    int folders = 0;
    countFilesAndFolders(path, files, folders);
    std::string report = reportOpening();
    appendCounts(report, folders, files);
    mapDirectory(path, appendMapHeading(report, directoriesOnly), report);
    appendReportClosing(report);
    return QByteArray::fromStdString(report);
}

QStringList filesNamed(const QString &name, const QStringList &places)
{
    QStringList found;
    for (const QString &place : places) {
        QDirIterator it(place, {name}, QDir::AllEntries | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
    }
    return found;
}

} // namespace

class tst_MapRun : public QObject
{
    Q_OBJECT

private slots:
    void labelsAndBoxes_data();
    void labelsAndBoxes();
    void keysOnTheMapButton_data();
    void keysOnTheMapButton();
    void modeFollowsFirstRadioButton_data();
    void modeFollowsFirstRadioButton();
    void oddRootsAndOutputPaths_data();
    void oddRootsAndOutputPaths();
    void failedRunKeepsEarlierReport_data();
    void failedRunKeepsEarlierReport();
    void inputWhileStageIsUnderWay_data();
    void inputWhileStageIsUnderWay();
    void twoRunsReplaceTheReport();
    void reportInsideTheRoot();
    void opensReportWithPathAsOneArgument_data();
    void opensReportWithPathAsOneArgument();
    void opensNothingWhenNotWritten();
    void saysWhenOpenerCannotStart();
};

void tst_MapRun::labelsAndBoxes_data()
{
    QTest::addColumn<QString>("rootField");   // "@" stands for the scratch directory
    QTest::addColumn<QString>("outputField"); // likewise
    QTest::addColumn<QList<LabelState>>("states");
    QTest::addColumn<QStringList>("boxes");   // "title|first line of text", then "|reason" where a reason is given
    QTest::addColumn<bool>("reportWritten");
    QTest::addColumn<QString>("status");      // the status bar's message at the end; "@" as above

    const QString none;
    QTest::newRow("complete run") << "@/tree" << "@/report.html" << completeRun(written) << QStringList{} << true
                                  << "Report written: @/report.html, 162 bytes";
    QTest::newRow("empty root field")
        << "" << "@/report.html" << runEndedAtRootCheck()
        << QStringList{"File Does Not Exist|Warning - Root Directory Folder Does Not Exist|No such file or directory"} << false
        << none;
    QTest::newRow("root is a file")
        << "@/tree/a.txt" << "@/report.html" << runEndedAtRootCheck()
        << QStringList{"File Does Not Exist|Warning - Root Directory Folder Does Not Exist|Not a directory"} << false << none;
    QTest::newRow("missing root")
        << "@/nowhere" << "@/report.html" << runEndedAtRootCheck()
        << QStringList{"File Does Not Exist|Warning - Root Directory Folder Does Not Exist|No such file or directory"} << false
        << none;
    // Mapped as an empty tree, it would look like a complete map.
    QTest::newRow("root that cannot be read")
        << "@/locked" << "@/report.html" << runEndedAtRootCheck()
        << QStringList{"File Does Not Exist|Warning - Root Directory Folder Does Not Exist|Permission denied"} << false << none;
    QTest::newRow("empty output field") << "@/tree" << "" << completeRun(notWritten)
                                        << QStringList{"Output File Not Specified|Warning - Output File Path Not Specified"}
                                        << false << none;
    QTest::newRow("output is a directory")
        << "@/tree" << "@/tree" << completeRun(notWritten)
        << QStringList{"Output File Not Written|Warning - Output File Could Not Be Written|Is a directory"} << false << none;
    QTest::newRow("output into a missing folder")
        << "@/tree" << "@/missing/report.html" << completeRun(notWritten)
        << QStringList{"Output File Not Written|Warning - Output File Could Not Be Written|No such file or directory"}
        << false << none;
    QTest::newRow("output on a full device")
        << "@/tree" << "/dev/full" << completeRun(notWritten)
        << QStringList{"Output File Not Written|Warning - Output File Could Not Be Written|No space left on device"}
        << false << none;
    QTest::newRow("output into /dev/null") << "@/tree" << "/dev/null" << completeRun(written) << QStringList{} << false
                                           << "Report written: /dev/null, 162 bytes";
}

void tst_MapRun::labelsAndBoxes()
{
    QFETCH(QString, rootField);
    QFETCH(QString, outputField);
    QFETCH(QList<LabelState>, states);
    QFETCH(QStringList, boxes);
    QFETCH(bool, reportWritten);
    QFETCH(QString, status);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/a.txt", "d:tree/sub", "d:locked"}));
    QVERIFY(::chmod(scratch.path().constData(), 0777) == 0 && ::chmod((scratch.path() + "/locked").constData(), 0) == 0);
    const QString here = QFile::decodeName(scratch.path());
    rootField.replace("@", here);
    outputField.replace("@", here);
    status.replace("@", here);

    WindowDriver driver;
    driver.fill(rootField, outputField);
    {
        // As a user, not as root, whom no folder keeps out.
        const ActingAsNobody nobody;
        QVERIFY(nobody.isActing());
        driver.map();
    }

    QCOMPARE(driver.states, states);
    QStringList seen;
    for (const Box &box : driver.boxes) {
        const QStringList lines = box.text.split('\n');
        seen << box.title + '|' + lines[0];
        if (box.title == "Output File Not Written") {
            // The box names the path and gives the system's reason.
            QCOMPARE(lines.size(), 3);
            QCOMPARE(lines[1], outputField);
            seen.last() += '|' + lines[2];
        } else if (box.title == "File Does Not Exist") {
            QCOMPARE(lines.size(), 2);
            seen.last() += '|' + lines[1];
        }
    }
    QCOMPARE(seen, boxes);
    QCOMPARE(QFile::exists(here + "/report.html"), reportWritten);
    if (reportWritten)
        QCOMPARE(fileContents(here + "/report.html"),
                 QByteArray("<HTML><h1>Directory Information</h1><b>Number of Folders: </b>1<br><b>Number of Files: </b>1<br>"
                            "<h1>Directory Map</h1><ul><b><li>sub</li></b><ul></ul></ul></HTML>"));
    QCOMPARE(driver.labels(), states.last());
    QCOMPARE(driver.window.statusBar()->currentMessage(), status);
}

void tst_MapRun::keysOnTheMapButton_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void tst_MapRun::keysOnTheMapButton()
{
    QFETCH(int, key);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree"}));
    const QString here = QFile::decodeName(scratch.path());

    WindowDriver driver;
    driver.fill(here + "/tree", here + "/report.html");
    driver.map(Qt::Key(key));
    QCOMPARE(driver.states, completeRun(written));
    QVERIFY(QFile::exists(here + "/report.html"));
}

void tst_MapRun::modeFollowsFirstRadioButton_data()
{
    QTest::addColumn<int>("choice"); // 1: first button, 2: second, 0: neither checked
    QTest::addColumn<QByteArray>("heading");
    QTest::newRow("Map Only Directories") << 1 << QByteArray("<h1>Directory Map</h1><ul><b><li>sub</li></b><ul></ul></ul>");
    QTest::newRow("Map Files and Directories")
        << 2 << QByteArray("<h1>Directory and File Map</h1><ul><b><li>sub</li></b><ul><li>f</li></ul></ul>");
    QTest::newRow("neither checked")
        << 0 << QByteArray("<h1>Directory and File Map</h1><ul><b><li>sub</li></b><ul><li>f</li></ul></ul>");
}

void tst_MapRun::modeFollowsFirstRadioButton()
{
    QFETCH(int, choice);
    QFETCH(QByteArray, heading);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:tree/sub", "tree/sub/f"}));
    const QString here = QFile::decodeName(scratch.path());

    WindowDriver driver;
    if (choice == 2) {
        QTest::mouseClick(driver.filesToo(), Qt::LeftButton);
    } else if (choice == 0) {
        driver.directoriesOnly()->setAutoExclusive(false);
        driver.directoriesOnly()->setChecked(false);
    }
    driver.fill(here + "/tree", here + "/out.html");
    driver.map();
    QCOMPARE(fileContents(here + "/out.html"),
             "<HTML><h1>Directory Information</h1><b>Number of Folders: </b>1<br><b>Number of Files: </b>1<br>" + heading
                 + "</HTML>");
}

void tst_MapRun::oddRootsAndOutputPaths_data()
{
    QTest::addColumn<QString>("rootName");
    QTest::addColumn<QString>("outputName");

    QTest::newRow("Greek root") << "αρχεία" << "report.html";
    QTest::newRow("blanks in output") << "tree" << "My Reports/map of tree.html";
    QTest::newRow("e acute in output") << "tree" << "café.html";
    QTest::newRow("quotes and semicolon in output") << "tree" << "it's \"a\" map; touch pwned.html";
    QTest::newRow("Greek root, Greek output") << "αρχεία" << "χάρτης.html";
}

void tst_MapRun::oddRootsAndOutputPaths()
{
    QFETCH(QString, rootName);
    QFETCH(QString, outputName);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    const QByteArray root = rootName.toUtf8();
    QVERIFY(makeTree(scratch.path(), {"d:" + root, root + "/é.txt", "d:" + root + "/Ωμέγα", "d:My Reports"}));
    const QString here = QFile::decodeName(scratch.path());

    WindowDriver driver;
    QTest::mouseClick(driver.filesToo(), Qt::LeftButton);
    driver.fill(here + '/' + rootName, here + '/' + outputName);
    driver.map();

    QCOMPARE(driver.boxes.size(), 0);
    QCOMPARE(driver.labels(), completeRun(written).last());
    const QByteArray report = fileContents(here + '/' + outputName);
    QCOMPARE(report, expectedReport(here + '/' + rootName, false));
    QVERIFY(report.contains("<li>&#233;.txt</li>"));
    QVERIFY(report.contains("<b><li>&#937;&#956;&#941;&#947;&#945;</li></b><ul></ul>"));
    QVERIFY(report.contains("<b>Number of Folders: </b>1<br><b>Number of Files: </b>1<br>"));
}

void tst_MapRun::failedRunKeepsEarlierReport_data()
{
    QTest::addColumn<int>("resource"); // limited while the run lasts
    QTest::addColumn<QString>("root"); // below the scratch directory
    QTest::addColumn<QString>("reason");

    QTest::newRow("file size limit") << int(RLIMIT_FSIZE) << "tree" << "File too large";
    QTest::newRow("memory limit") << int(RLIMIT_AS) << "graph/L0" << "The tree is too large to map in the memory available";
}

void tst_MapRun::failedRunKeepsEarlierReport()
{
    QFETCH(int, resource);
    QFETCH(QString, root);
    QFETCH(QString, reason);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QList<QByteArray> entries = linkGraph("graph", 40) << "d:tree" << "d:bin";
    for (int i = 0; i < 50; ++i)
        entries << "tree/a-file-with-a-long-name-" + QByteArray::number(i);
    QVERIFY(makeTree(scratch.path(), entries));
    const QString here = QFile::decodeName(scratch.path());
    const QString output = here + "/report.html";
    const QByteArray earlier = "<HTML>the earlier report</HTML>";
    QVERIFY(writeFileContents(output, earlier));

    WindowDriver driver;
    QTest::mouseClick(driver.filesToo(), Qt::LeftButton);
    driver.openBox()->setChecked(true);
    OpenerStandIn opener(here + "/bin");
    driver.fill(here + '/' + root, output);

    // A file size limit makes the write fail part way through; a limit on
    // memory, a little above what the test uses now, makes the scan fail.
    rlimit previous;
    QVERIFY(::getrlimit(resource, &previous) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{resource == RLIMIT_AS ? addressSpaceInUse() + (256 << 20) : 1024, previous.rlim_max};
    QVERIFY(::setrlimit(resource, &small) == 0);
    driver.map();
    ::setrlimit(resource, &previous);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(driver.labels().last(), "+ " + notWritten);
    QCOMPARE(driver.boxes.size(), 1);
    QCOMPARE(driver.boxes[0].title, QString("Output File Not Written"));
    QCOMPARE(driver.boxes[0].text.section('\n', 2), reason);
    QCOMPARE(fileContents(output), earlier);
    QCOMPARE(QDir(here).entryList(QDir::Files | QDir::Hidden), QStringList{"report.html"});
    QTest::qWait(300);
    QVERIFY(!QFile::exists(opener.recordPath()));
}

void tst_MapRun::inputWhileStageIsUnderWay_data()
{
    QTest::addColumn<MapStage>("stage"); // under way when the user acts
    QTest::addColumn<QString>("action");
    QTest::addColumn<QList<LabelState>>("states");
    QTest::addColumn<bool>("windowOpen");
    QTest::addColumn<bool>("reportReplaced");
    QTest::addColumn<QString>("status"); // how the status bar's message begins

    const QString cancelled = "Map cancelled";
    const QString reportWritten = "Report written: ";
    // The window answers while the tree is listed and while the report is written.
    QTest::newRow("nothing, while listing") << MapStage::Listing << "nothing" << completeRun(written) << true << true
                                            << reportWritten;
    QTest::newRow("nothing, while writing") << MapStage::Mapping << "nothing" << completeRun(written) << true << true
                                            << reportWritten;
    QTest::newRow("Esc while listing") << MapStage::Listing << "Esc" << stoppedRun(2) << true << false << cancelled;
    QTest::newRow("close box while listing") << MapStage::Listing << "close box" << stoppedRun(2) << false << false
                                             << cancelled;
    QTest::newRow("Exit while listing") << MapStage::Listing << "Exit" << stoppedRun(2) << false << false << cancelled;
    QTest::newRow("File > Exit while listing")
        << MapStage::Listing << "File > Exit" << stoppedRun(2) << false << false << cancelled;
    QTest::newRow("Esc while writing") << MapStage::Mapping << "Esc" << stoppedRun(4) << true << false << cancelled;
    QTest::newRow("close box while writing") << MapStage::Mapping << "close box" << stoppedRun(4) << false << false
                                             << cancelled;
    // Once the report is being put in place, it is too late to keep the
    // earlier one, and the window says so.
    QTest::newRow("Esc while saving") << MapStage::Saving << "Esc" << completeRun(written) << true << true
                                      << reportWritten;
    QTest::newRow("close box while saving") << MapStage::Saving << "close box" << completeRun(written) << false << true
                                            << reportWritten;
    // The form is greyed while the run is under way: a press of Map starts nothing.
    QTest::newRow("Map while listing") << MapStage::Listing << "Map" << completeRun(written) << true << true
                                       << reportWritten;
    // Map pressed with Return, and Return again: the focus is kept from Exit.
    QTest::newRow("Return while listing") << MapStage::Listing << "Return" << completeRun(written) << true << true
                                          << reportWritten;
}

void tst_MapRun::inputWhileStageIsUnderWay()
{
    QFETCH(MapStage, stage);
    QFETCH(QString, action);
    QFETCH(QList<LabelState>, states);
    QFETCH(bool, windowOpen);
    QFETCH(bool, reportReplaced);
    QFETCH(QString, status);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/a", "d:tree/b"}));
    const QString here = QFile::decodeName(scratch.path());
    const QString output = here + "/report.html";
    const QByteArray earlier = "<HTML>the earlier report</HTML>";
    QVERIFY(writeFileContents(output, earlier));

    WindowDriver driver;
    driver.fill(here + "/tree", output);
    auto *mapButton = driver.window.findChild<QPushButton *>("mapButton");
    int runs = 0;
    QObject::connect(mapButton, &QPushButton::clicked, [&runs] { ++runs; });
    bool greyedWhileRunning = false;
    // While the stage is held, the status bar says how far it has come.
    const QByteArray report = expectedReport(here + "/tree", true);
    const QMap<MapStage, QString> progress{{MapStage::Listing, "Listing: 0 entries"},
                                           {MapStage::Mapping, "Writing: 0 of 2 entries, 0 bytes"},
                                           {MapStage::Saving, QString("Saving: %1 bytes").arg(report.size())}};
    QString progressShown;
    auto act = [&] {
        greyedWhileRunning = !driver.root()->isEnabled() && !driver.output()->isEnabled() && !mapButton->isEnabled()
            && !driver.filesToo()->isEnabled() && !driver.openBox()->isEnabled()
            && driver.window.findChild<QPushButton *>("exitButton")->isEnabled();
        // Compared once the run is over.
        static_cast<void>(QTest::qWaitFor([&] { return driver.window.statusBar()->currentMessage() == progress.value(stage); }));
        progressShown = driver.window.statusBar()->currentMessage();
        if (action == "Esc")
            QTest::keyClick(driver.window.windowHandle(), Qt::Key_Escape);
        else if (action == "close box")
            driver.window.windowHandle()->close();
        else if (action == "Exit")
            QTest::mouseClick(driver.window.findChild<QPushButton *>("exitButton"), Qt::LeftButton);
        else if (action == "File > Exit")
            driver.window.findChild<QAction *>("actionExit")->trigger();
        else if (action == "Map")
            QTest::mouseClick(mapButton, Qt::LeftButton);
        else if (action == "Return")
            QTest::keyClick(driver.window.windowHandle(), Qt::Key_Return);
    };

    // The stage's thread posts the action to the GUI thread and waits until
    // it has been handled. A GUI thread that waited for the stage would never
    // handle it; the bound only keeps such a fault from hanging the suite.
    bool handled = false;
    driver.window.mapRun().setObserver([&](MapStage now, std::uint64_t) {
        if (now != stage || handled)
            return;
        auto done = std::make_shared<std::promise<void>>();
        QMetaObject::invokeMethod(&driver.window, [act, done] {
            act();
            done->set_value();
        }, Qt::QueuedConnection);
        handled = done->get_future().wait_for(std::chrono::minutes(2)) == std::future_status::ready;
    });
    driver.map(action == "Return" ? Qt::Key_Return : Qt::Key_unknown);

    QVERIFY(handled);
    QVERIFY(greyedWhileRunning);
    QCOMPARE(progressShown, progress.value(stage));
    QCOMPARE(driver.states, states);
    QCOMPARE(driver.window.isVisible(), windowOpen);
    QCOMPARE(runs, 1);
    QVERIFY(driver.window.statusBar()->currentMessage().startsWith(status));
    QCOMPARE(fileContents(output) == earlier, !reportReplaced);
    if (reportReplaced)
        QCOMPARE(fileContents(output), report);
    // No temporary file is left beside the report.
    QCOMPARE(QDir(here).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"report.html"});
    // The form is as it was before the run.
    for (QLineEdit *field : {driver.root(), driver.output()})
        QVERIFY(field->isEnabled() && field->completer() && field->completer()->widget() == field);
    QVERIFY(mapButton->isEnabled());
}

void tst_MapRun::twoRunsReplaceTheReport()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/x", "d:tree/y"}));
    const QString here = QFile::decodeName(scratch.path());

    WindowDriver driver;
    QTest::mouseClick(driver.filesToo(), Qt::LeftButton);
    driver.fill(here + "/tree", here + "/report.html");
    driver.map();
    QCOMPARE(fileContents(here + "/report.html"), expectedReport(here + "/tree", false));

    QTest::mouseClick(driver.directoriesOnly(), Qt::LeftButton);
    driver.map();
    QCOMPARE(driver.states, completeRun(written));
    QCOMPARE(fileContents(here + "/report.html"), expectedReport(here + "/tree", true));
}

void tst_MapRun::reportInsideTheRoot()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"a.txt"}));
    const QString here = QFile::decodeName(scratch.path());

    WindowDriver driver;
    QTest::mouseClick(driver.filesToo(), Qt::LeftButton);
    driver.fill(here, here + "/report.html");
    driver.map();
    const QByteArray first = fileContents(here + "/report.html");
    QVERIFY(first.contains("<b>Number of Files: </b>1<br>"));
    QVERIFY(!first.contains("report.html"));

    driver.map();
    const QByteArray second = fileContents(here + "/report.html");
    QVERIFY(second.contains("<b>Number of Files: </b>2<br>"));
    QVERIFY(second.contains("<li>report.html</li>"));
    QCOMPARE(QDir(here).entryList(QDir::Files).size(), 2); // no temporary file left behind
}

void tst_MapRun::opensReportWithPathAsOneArgument_data()
{
    QTest::addColumn<QString>("outputName");
    QTest::addColumn<bool>("typedRelative"); // typed relative to the working directory @/work
    QTest::newRow("blanks") << "my map.html" << false;
    QTest::newRow("quotes") << "it's \"the\" map.html" << false;
    QTest::newRow("shell command") << "map.html; touch pwned" << false;
    QTest::newRow("substitution") << "$(touch pwned)`touch pwned`.html" << false;
    QTest::newRow("leading dash") << "-x.html" << false;
    QTest::newRow("relative path") << "map.html" << true;
    QTest::newRow("relative, leading dash") << "-x.html" << true;
}

void tst_MapRun::opensReportWithPathAsOneArgument()
{
    QFETCH(QString, outputName);
    QFETCH(bool, typedRelative);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:bin", "d:work"}));
    const QString here = QFile::decodeName(scratch.path());
    const QString previousDirectory = QDir::currentPath();
    QDir::setCurrent(here + "/work");
    OpenerStandIn opener(here + "/bin");

    WindowDriver driver;
    driver.openBox()->setChecked(true);
    // The opener always gets the absolute path, whatever was typed.
    const QString output = (typedRelative ? here + "/work/" : here + '/') + outputName;
    driver.fill(here + "/tree", typedRelative ? outputName : output);
    driver.map();

    QTRY_VERIFY(QFile::exists(opener.recordPath()));
    QDir::setCurrent(previousDirectory);
    QCOMPARE(opener.record(), (QList<QByteArray>{"1", QFile::encodeName(output)}));
    QVERIFY(driver.window.statusBar()->currentMessage().startsWith("Report written: " + output + ", "));
    QVERIFY(QFile::exists(output));
    QCOMPARE(filesNamed("pwned", {here, previousDirectory}), QStringList{});
}

void tst_MapRun::opensNothingWhenNotWritten()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:bin"}));
    const QString here = QFile::decodeName(scratch.path());
    OpenerStandIn opener(here + "/bin");

    WindowDriver driver;
    driver.openBox()->setChecked(true);
    for (const QString &output : {QString(), here + "/missing/report.html"}) {
        driver.fill(here + "/tree", output);
        driver.map();
        QCOMPARE(driver.labels(), completeRun(notWritten).last());
    }
    // A detached opener would have written its record by now.
    QTest::qWait(300);
    QVERIFY(!QFile::exists(opener.recordPath()));
    QVERIFY(driver.window.statusBar()->currentMessage().isEmpty());
}

void tst_MapRun::saysWhenOpenerCannotStart()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:empty-bin"}));
    const QString here = QFile::decodeName(scratch.path());
    const QByteArray previousPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(here + "/empty-bin"));

    WindowDriver driver;
    driver.openBox()->setChecked(true);
    driver.fill(here + "/tree", here + "/report.html");
    driver.map();
    qputenv("PATH", previousPath);

    QCOMPARE(driver.labels(), completeRun(written).last());
    QVERIFY(QFile::exists(here + "/report.html"));
    const QString writtenMessage = "Report written: " + here + "/report.html, 134 bytes";
    QCOMPARE(driver.window.statusBar()->currentMessage(),
             writtenMessage + "; it could not be opened: xdg-open could not be started");

    // The next run does not repeat what no longer holds.
    driver.openBox()->setChecked(false);
    driver.map();
    QCOMPARE(driver.window.statusBar()->currentMessage(), writtenMessage);
}

QTEST_MAIN(tst_MapRun)
#include "tst_maprun.moc"
