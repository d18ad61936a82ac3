#include "busycores.h"
#include "childprocess.h"
#include "eventgaps.h"
#include "hangingmount.h"
#include "openerstandin.h"
#include "reportdocument.h"
#include "runstatus.h"
#include "sanitizers.h"
#include "scratchdirectory.h"
#include "testtree.h"
#include "treecounter.h"
#include "treemapper.h"
#include "velmora.h"

#include <QAbstractItemView>
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
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
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
// window handles its events: it notes each new state of the progress labels
// and closes any message box, noting its title and text. A box titled
// `keepOpen` is left open until the run is over, noting what the status bar
// shows meanwhile.
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
    // How often the window is looked at during a run: every time it comes
    // round its event loop, or more seldom, like a user.
    void lookEvery(std::chrono::milliseconds interval) { m_ticker.setInterval(interval); }

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

    // Clicks Map, or presses the key on it, or in `field` where one is
    // given, and gives back once the run is over.
    void map(Qt::Key key = Qt::Key_unknown, QLineEdit *field = nullptr)
    {
        states.clear();
        boxes.clear();
        statusesWhileOpen.clear();
        endedWithBoxOpen = false;
        bool over = false;
        QEventLoop running;
        const auto ended = QObject::connect(&window.mapRun(), &MapRun::finished, &running, [&] {
            over = true;
            const QWidget *box = QApplication::activeModalWidget();
            endedWithBoxOpen = box && box->windowTitle() == keepOpen;
            if (endedWithBoxOpen)
                statusesWhileOpen << shownStatus();
            running.quit();
        });
        m_ticker.start();
        auto *button = window.findChild<QPushButton *>("mapButton");
        if (field) {
            field->setFocus();
            QTest::keyClick(window.windowHandle(), key);
        } else if (key == Qt::Key_unknown) {
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            button->setFocus();
            QTest::keyClick(button, key);
        }
        // The bound only keeps a run that never ends from hanging the suite.
        QTimer::singleShot(std::chrono::minutes(2), &running, &QEventLoop::quit);
        if (!over && window.mapRun().isRunning())
            running.exec();
        QObject::disconnect(ended);
        // A stopped run may end without handling an event after its last
        // change of the labels; the window shows it once back in its loop.
        observe();
        m_ticker.stop();
        QVERIFY(over);
    }

    LabelState labels()
    {
        LabelState now;
        for (int n = 1; n <= 3; ++n)
            now << (progress(n)->isEnabled() ? "+ " : "- ") + progress(n)->text();
        return now;
    }

    // What the status bar shows: a passing message, else how the last run ended.
    QString shownStatus()
    {
        const QString message = window.statusBar()->currentMessage();
        return message.isEmpty() ? window.findChild<QLabel *>("runOutcome")->text() : message;
    }

    // How the last run ended, whole, as its tooltip begins: the status bar
    // shows a path too long for it shortened.
    QString outcomeInFull()
    {
        QTextDocument tooltip;
        tooltip.setHtml(window.findChild<QLabel *>("runOutcome")->toolTip());
        return tooltip.toPlainText().section(u'\n', 0, 0);
    }

    Velmora window;
    QList<LabelState> states;
    QList<Box> boxes;
    QString keepOpen;
    QStringList statusesWhileOpen;
    bool endedWithBoxOpen = false;

private:
    void observe()
    {
        if (states.isEmpty() || states.last() != labels())
            states << labels();
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (box->windowTitle() == keepOpen && window.mapRun().isRunning()) {
            if (statusesWhileOpen.isEmpty() || statusesWhileOpen.last() != shownStatus())
                statusesWhileOpen << shownStatus();
            return;
        }
        boxes << Box{box->windowTitle(), box->text()};
        box->accept();
    }

    QTimer m_ticker;
};

// The threads of this process whose nice value is `nice`.
// Each thread of this process by its id, with its nice value.
QMap<int, int> threadNices()
{
    QMap<int, int> nices;
    for (const QString &thread : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/proc/self/task/" + thread + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // After the name in parentheses: the state, the third field, and on.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 16)
            nices.insert(thread.toInt(), fields[16].toInt());
    }
    return nices;
}

// The report as the counting walk and the mapping walk make it, each on its
// own, without the window's single listing of the tree.
// The process tracing `process`, or 0.
int tracerOf(pid_t process)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("TracerPid:"))
            return line.mid(10).trimmed().toInt();
    return 0;
}

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
    void initTestCase();
    void init();
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

private:
    QTemporaryDir m_configHome;
};

// The Report menu's choices are remembered in a folder of the suite's own,
// and forgotten before each test.
void tst_MapRun::initTestCase()
{
    QVERIFY(m_configHome.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
}

void tst_MapRun::init()
{
    QSettings("velmora", "velmora").clear();
}

void tst_MapRun::labelsAndBoxes_data()
{
    QTest::addColumn<QString>("rootField");   // "@" stands for the scratch directory
    QTest::addColumn<QString>("outputField"); // likewise
    QTest::addColumn<QList<LabelState>>("states");
    QTest::addColumn<QStringList>("boxes");   // "title|first line of text", then "|reason" where a reason is given
    QTest::addColumn<bool>("reportWritten");
    QTest::addColumn<QString>("status");      // what the status bar shows at the end; "@" as above
    QTest::addColumn<QString>("details");     // of that, in its tooltip beside it; "@" as above
    QTest::addColumn<QStringList>("chosen");  // in the Report menu before the run, in this order

    const QString none;
    const QStringList plain;
    const QStringList page{"actionBrowsablePage"};
    const QStringList pageWithSizes{"actionBrowsablePage", "actionSizesAndDates"};
    const QStringList sizesLeftChecked{"actionBrowsablePage", "actionSizesAndDates", "actionBrowsablePage"};
    auto rootRefused = [](const char *reason) {
        return QStringList{QString("File Does Not Exist|Warning - Root Directory Folder Does Not Exist|") + reason};
    };
    auto notWrittenBox = [](const char *reason) {
        return QStringList{QString("Output File Not Written|Warning - Output File Could Not Be Written|") + reason};
    };
    QTest::newRow("complete run") << "@/tree" << "@/report.html" << completeRun(written) << QStringList{} << true
                                  << "Report written: @/report.html, 162 bytes" << none << plain;
    QTest::newRow("empty root field") << "" << "@/report.html" << runEndedAtRootCheck()
                                      << rootRefused("No such file or directory") << false
                                      << "Not mapped: no root directory given" << none << plain;
    QTest::newRow("root is a file") << "@/tree/a.txt" << "@/report.html" << runEndedAtRootCheck()
                                    << rootRefused("Not a directory") << false
                                    << "Not mapped: @/tree/a.txt: Not a directory" << none << plain;
    QTest::newRow("missing root") << "@/nowhere" << "@/report.html" << runEndedAtRootCheck()
                                  << rootRefused("No such file or directory") << false
                                  << "Not mapped: @/nowhere: No such file or directory" << none << plain;
    // Mapped as an empty tree, it would look like a complete map.
    QTest::newRow("root that cannot be read") << "@/locked" << "@/report.html" << runEndedAtRootCheck()
                                              << rootRefused("Permission denied") << false
                                              << "Not mapped: @/locked: Permission denied" << none << plain;
    QTest::newRow("empty output field") << "@/tree" << "" << completeRun(notWritten)
                                        << QStringList{"Output File Not Specified|Warning - Output File Path Not Specified"}
                                        << false << "Report not written: no output file given" << none << plain;
    QTest::newRow("output is a directory") << "@/tree" << "@/tree" << completeRun(notWritten)
                                           << notWrittenBox("Is a directory") << false
                                           << "Report not written: @/tree: Is a directory" << none << plain;
    QTest::newRow("output into a missing folder")
        << "@/tree" << "@/missing/report.html" << completeRun(notWritten) << notWrittenBox("No such file or directory")
        << false << "Report not written: @/missing/report.html: No such file or directory" << none << plain;
    // The path is shortened in the middle; the reason stays in view.
    QTest::newRow("output with a long path") << "@/tree" << "@/missing/" + QString(150, 'm') + "/report.html"
                                             << completeRun(notWritten) << notWrittenBox("No such file or directory") << false
                                             << "Report not written: @/missing/" + QString(150, 'm')
                                                    + "/report.html: No such file or directory"
                                             << none << plain;
    QTest::newRow("output on a full device") << "@/tree" << "/dev/full" << completeRun(notWritten)
                                             << notWrittenBox("No space left on device") << false
                                             << "Report not written: /dev/full: No space left on device" << none << plain;
    QTest::newRow("output into /dev/null") << "@/tree" << "/dev/null" << completeRun(written) << QStringList{} << false
                                           << "Report written: /dev/null, 162 bytes" << none << plain;
    // The labels say all went well, as they always have; the status bar
    // says what was left out, and where.
    QTest::newRow("a folder that cannot be read") << "@" << "/dev/null" << completeRun(written) << QStringList{} << false
                                                  << "Report written: /dev/null, 283 bytes; 1 folder could not be read"
                                                  << "@/locked: Permission denied" << plain;
    // The kind of report is named as the run ends; %size stands for the
    // size of the file written.
    QTest::newRow("browsable page") << "@/tree" << "@/report.html" << completeRun(written) << QStringList{} << true
                                    << "Browsable page written: @/report.html, %size" << none << page;
    QTest::newRow("browsable page into a missing folder")
        << "@/tree" << "@/missing/report.html" << completeRun(notWritten) << notWrittenBox("No such file or directory")
        << false << "Browsable page not written: @/missing/report.html: No such file or directory" << none << page;
    // A folder that can be listed, not entered: the size of what it holds
    // cannot be read. Only a walk that reads sizes finds that out.
    QTest::newRow("sizes and dates, one not read")
        << "@/sized" << "@/report.html" << completeRun(written) << QStringList{} << true
        << "Browsable page written: @/report.html, %size; the size of 1 entry could not be read"
        << "@/sized/noexec/f: size not read: Permission denied" << pageWithSizes;
    QTest::newRow("browsable page without sizes") << "@/sized" << "@/report.html" << completeRun(written) << QStringList{}
                                                  << true << "Browsable page written: @/report.html, %size" << none << page;
    QTest::newRow("sizes left checked for the plain report")
        << "@/sized" << "@/report.html" << completeRun(written) << QStringList{} << true
        << "Report written: @/report.html, %size" << none << sizesLeftChecked;
}

void tst_MapRun::labelsAndBoxes()
{
    QFETCH(QString, rootField);
    QFETCH(QString, outputField);
    QFETCH(QList<LabelState>, states);
    QFETCH(QStringList, boxes);
    QFETCH(bool, reportWritten);
    QFETCH(QString, status);
    QFETCH(QString, details);
    QFETCH(QStringList, chosen);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(),
                     {"d:tree", "tree/a.txt", "d:tree/sub", "d:locked", "d:sized", "d:sized/noexec", "sized/noexec/f"}));
    QVERIFY(::chmod(scratch.path().constData(), 0777) == 0 && ::chmod((scratch.path() + "/locked").constData(), 0) == 0
            && ::chmod((scratch.path() + "/sized/noexec").constData(), 0644) == 0);
    const QString here = QFile::decodeName(scratch.path());
    rootField.replace("@", here);
    outputField.replace("@", here);
    status.replace("@", here);
    details.replace("@", here);

    WindowDriver driver;
    for (const QString &choice : chosen)
        driver.window.findChild<QAction *>(choice)->trigger();
    // The choices are saved on a thread of their own: once they are, the run
    // may act as a user who could not save them.
    const QString savedChoices = m_configHome.path() + "/velmora/velmora.conf";
    for (const QString &choice : chosen) { // "actionBrowsablePage" is saved as "browsablePage=true"
        const bool checked = driver.window.findChild<QAction *>(choice)->isChecked();
        const QByteArray saved = choice.mid(6).toLower().toUtf8() + (checked ? "=true" : "=false");
        QTRY_VERIFY(fileContents(savedChoices).toLower().contains(saved));
    }
    const bool pageChosen = driver.window.findChild<QAction *>("actionBrowsablePage")->isChecked();
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
    const QByteArray report = fileContents(here + "/report.html");
    if (reportWritten && pageChosen) {
        // Each root holds a folder and, in it or beside it, a file.
        QVERIFY(report.startsWith("<!DOCTYPE html>\n"));
        QVERIFY(report.contains(",\"tree\":[{\"d\":\"" + rootField.toUtf8() + "\",\"n\":[1,1]"));
        // The sizes are read only where both choices are made.
        const bool sizesChosen = driver.window.findChild<QAction *>("actionSizesAndDates")->isChecked();
        QCOMPARE(report.contains(",\"sizes\":true"), sizesChosen);
    } else if (reportWritten) {
        QCOMPARE(report, rootField != here + "/tree"
                     ? expectedReport(rootField, true)
                     : QByteArray("<HTML><h1>Directory Information</h1><b>Number of Folders: </b>1<br><b>Number of Files: "
                                  "</b>1<br><h1>Directory Map</h1><ul><b><li>sub</li></b><ul></ul></ul></HTML>"));
    }
    status.replace("%size", QLocale(QLocale::English).formattedDataSize(report.size(), 1, QLocale::DataSizeSIFormat));
    QCOMPARE(driver.labels(), states.last());
    // The status fits the bar: where it would not, the path in it is
    // shortened in the middle, and what comes before and after it stays.
    // The bar lays the label out again after its text changes: once it has.
    const QLabel *outcome = driver.window.findChild<QLabel *>("runOutcome");
    QTRY_VERIFY2(outcome->fontMetrics().horizontalAdvance(driver.shownStatus()) <= outcome->contentsRect().width(),
                 qPrintable(driver.shownStatus()));
    const QString shown = driver.shownStatus();
    if (shown != status) {
        const qsizetype cut = shown.indexOf(QChar(0x2026));
        const qsizetype path = status.indexOf(outputField);
        QVERIFY2(cut > path && path > 0, qPrintable(shown));
        const QString after = status.mid(path + outputField.size());
        QCOMPARE(shown.left(cut), status.left(cut));
        QVERIFY2(shown.endsWith(after) && status.endsWith(shown.mid(cut + 1)), qPrintable(shown));
        QVERIFY(shown.size() - cut - 1 > after.size());
    }
    // The tooltip repeats it whole, the details on lines of their own.
    QTextDocument tooltip;
    tooltip.setHtml(driver.window.findChild<QLabel *>("runOutcome")->toolTip());
    QCOMPARE(tooltip.toPlainText(), details.isEmpty() ? status : status + '\n' + details);
}

void tst_MapRun::keysOnTheMapButton_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("where"); // the Map button, or a field
    QTest::newRow("Return") << int(Qt::Key_Return) << "mapButton";
    QTest::newRow("Enter") << int(Qt::Key_Enter) << "mapButton";
    QTest::newRow("Space") << int(Qt::Key_Space) << "mapButton";
    // Map is the form's default.
    QTest::newRow("Return in the root field") << int(Qt::Key_Return) << "rootDirectoryLineEdit";
    QTest::newRow("Enter in the output field") << int(Qt::Key_Enter) << "outputFileLineEdit";
    // No completion chosen from it: the list closes and Map is pressed.
    QTest::newRow("Return in the root field, its list open") << int(Qt::Key_Return) << "rootDirectoryLineEdit, list open";
}

void tst_MapRun::keysOnTheMapButton()
{
    QFETCH(int, key);
    QFETCH(QString, where);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:tree-old", "d:tree-old/sub"}));
    const QString here = QFile::decodeName(scratch.path());

    WindowDriver driver;
    QVERIFY(QTest::qWaitForWindowActive(&driver.window));
    driver.fill(here + "/tre", here + "/report.html");
    // The last key typed into the root field, as a user, opens its list
    // of "tree" and "tree-old".
    QLineEdit *root = driver.root();
    root->setFocus();
    QTest::keyClick(driver.window.windowHandle(), 'e');
    QAbstractItemView *list = root->completer()->popup();
    QTRY_VERIFY(list->isVisible());
    if (!where.endsWith(", list open"))
        QTest::keyClick(driver.window.windowHandle(), Qt::Key_Escape);
    QCOMPARE(list->isVisible(), where.endsWith(", list open"));

    if (where == "mapButton")
        driver.map(Qt::Key(key));
    else
        driver.map(Qt::Key(key), driver.window.findChild<QLineEdit *>(where.section(',', 0, 0)));
    QCOMPARE(driver.states, completeRun(written));
    QCOMPARE(root->text(), here + "/tree");
    QCOMPARE(fileContents(here + "/report.html"), expectedReport(here + "/tree", true));
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
    QTest::newRow("one descriptor to spare") << int(RLIMIT_NOFILE) << "graph/L0" << "No file descriptor was free to read the tree";
}

void tst_MapRun::failedRunKeepsEarlierReport()
{
    QFETCH(int, resource);
    QFETCH(QString, root);
    QFETCH(QString, reason);
    if (resource == RLIMIT_AS && underAddressSanitizer)
        QSKIP("AddressSanitizer's own bookkeeping runs out of address space first, now and then, and ends the test");

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
    // memory, a little above what the test uses now, makes the scan fail,
    // and so does a limit that leaves one descriptor free: enough to check
    // the root, too few to walk below it.
    rlimit previous;
    QVERIFY(::getrlimit(resource, &previous) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const int lowestFree = ::dup(STDIN_FILENO);
    QVERIFY(lowestFree >= 0 && ::close(lowestFree) == 0);
    const rlim_t limit = resource == RLIMIT_AS ? addressSpaceInUse() + (256 << 20)
        : resource == RLIMIT_NOFILE            ? rlim_t(lowestFree) + 1
                                               : 1024;
    const rlimit small{limit, previous.rlim_max};
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
    QTest::addColumn<int>("files");      // more in the tree, in a folder of their own
    QTest::addColumn<bool>("busy");      // every core kept busy by other processes meanwhile
    QTest::addColumn<bool>("hung");      // a FUSE mount in the tree stops answering; the user acts once a walker waits on it
    // The call slowed once saving has begun: "pwrite64" (200 ms) in a copy of
    // a report of about 3 MB into the earlier one, where the report's folder
    // takes no new file (immutable); "rename" (1 s) once the new report has a
    // name beside the earlier one.
    QTest::addColumn<QString>("slowed");

    auto row = [](const char *name, MapStage stage, const char *action, const QList<LabelState> &states, bool windowOpen,
                  bool reportReplaced, const char *status, int files = 0, bool busy = false, bool hung = false,
                  const char *slowed = "") {
        QTest::newRow(name) << stage << QString(action) << states << windowOpen << reportReplaced << QString(status)
                            << files << busy << hung << QString(slowed);
    };
    const char *cancelled = "Map cancelled";
    const char *reportWritten = "Report written: ";
    // The window answers while the tree is listed and while the report is written.
    row("nothing, while listing", MapStage::Counting, "nothing", completeRun(written), true, true, reportWritten);
    row("nothing, while writing", MapStage::Mapping, "nothing", completeRun(written), true, true, reportWritten);
    row("Esc while listing", MapStage::Counting, "Esc", stoppedRun(2), true, false, cancelled);
    row("close box while listing", MapStage::Counting, "close box", stoppedRun(2), false, false, cancelled);
    row("Exit while listing", MapStage::Counting, "Exit", stoppedRun(2), false, false, cancelled);
    row("File > Exit while listing", MapStage::Counting, "File > Exit", stoppedRun(2), false, false, cancelled);
    row("Esc while a mount hangs", MapStage::Counting, "Esc", stoppedRun(2), true, false, cancelled, 0, false, true);
    row("close box while a mount hangs", MapStage::Counting, "close box", stoppedRun(2), false, false, cancelled, 0, false, true);
    row("Esc while writing", MapStage::Mapping, "Esc", stoppedRun(4), true, false, cancelled);
    row("close box while writing", MapStage::Mapping, "close box", stoppedRun(4), false, false, cancelled);
    // Once the report is being put in place, it is too late to keep the
    // earlier one, and the window says so.
    row("Esc while saving", MapStage::Writing, "Esc", completeRun(written), true, true, reportWritten);
    row("close box while saving", MapStage::Writing, "close box", completeRun(written), false, true, reportWritten);
    // A close waits for the copy to end, and says so.
    row("close box while copying in place", MapStage::Writing, "close box", completeRun(written), false, true, reportWritten,
        0, false, false, "pwrite64");
    row("Exit while copying in place", MapStage::Writing, "Exit", completeRun(written), false, true, reportWritten, 0, false,
        false, "pwrite64");
    row("File > Exit while copying in place", MapStage::Writing, "File > Exit", completeRun(written), false, true,
        reportWritten, 0, false, false, "pwrite64");
    row("close box before the rename", MapStage::Writing, "close box", completeRun(written), false, true, reportWritten, 0,
        false, false, "rename");
    // The form is greyed while the run is under way: a press of Map starts nothing.
    row("Map while listing", MapStage::Counting, "Map", completeRun(written), true, true, reportWritten);
    // Map pressed with Return, and Return again: the focus is kept from Exit.
    row("Return while listing", MapStage::Counting, "Return", completeRun(written), true, true, reportWritten);
    // A box's own event loop holds nothing: the stages go on, the status
    // bar follows them, and the run ends while the box is still open.
    row("About while listing", MapStage::Counting, "About", completeRun(written), true, true, reportWritten);
    // The walk leaves the processor to the window first.
    row("nothing, while listing 30,000 files, every core busy", MapStage::Counting, "nothing", completeRun(written), true,
        true, reportWritten, 30000, true);
}

void tst_MapRun::inputWhileStageIsUnderWay()
{
    QFETCH(MapStage, stage);
    QFETCH(QString, action);
    QFETCH(QList<LabelState>, states);
    QFETCH(bool, windowOpen);
    QFETCH(bool, reportReplaced);
    QFETCH(QString, status);
    QFETCH(int, files);
    QFETCH(bool, busy);
    QFETCH(bool, hung);
    QFETCH(QString, slowed);
    const bool copiedSlowly = slowed == "pwrite64";

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QList<QByteArray> entries{"d:tree", "tree/a", "d:tree/b", "d:locked"};
    // In folders of 100, which the scratch folder removes quickly.
    for (int i = 0; copiedSlowly && i < 12000; ++i) {
        const QByteArray folder = "tree/b/" + QByteArray::number(i / 100);
        if (i % 100 == 0)
            entries << "d:" + folder;
        entries << "d:" + folder + '/' + QByteArray::number(i).rightJustified(240, 'n');
    }
    QVERIFY(makeTree(scratch.path(), entries));
    if (files > 0)
        QVERIFY(makeFlatFolder(scratch.path() + "/tree/b/many", files));
    const QString here = QFile::decodeName(scratch.path());
    const QString output = here + (copiedSlowly ? "/locked/report.html" : "/report.html");
    const QByteArray earlier = "<HTML>the earlier report</HTML>";
    QVERIFY(writeFileContents(output, earlier));
    QProcess slowWrites;
    const auto lockedFolder = qScopeGuard([&] {
        if (slowWrites.state() != QProcess::NotRunning) {
            slowWrites.terminate();
            slowWrites.waitForFinished(10000);
        }
        QProcess::execute("chattr", {"-i", here + "/locked"});
    });
    if (copiedSlowly && QProcess::execute("chattr", {"+i", here + "/locked"}) != 0)
        QSKIP("needs chattr +i on the scratch folder's file system");
    if (!slowed.isEmpty() && QProcess::execute("strace", {"-o", "/dev/null", "true"}) != 0)
        QSKIP("needs strace");

    WindowDriver driver;
    driver.fill(here + "/tree", output);
    driver.keepOpen = "About Dialog";
    auto *mapButton = driver.window.findChild<QPushButton *>("mapButton");
    int runs = 0;
    QObject::connect(mapButton, &QPushButton::clicked, [&runs] { ++runs; });
    bool greyedWhileRunning = false;
    // While the stage is held, the status bar says how far it has come.
    const QByteArray report = expectedReport(here + "/tree", true);
    const QString mappingBegun = QString("Mapping: 0 of %1 entries, 0 bytes").arg(QLocale(QLocale::English).toString(files > 0 ? 3 + files : 2));
    const QMap<MapStage, QString> progress{{MapStage::Counting, "Counting: 0 entries"},
                                           {MapStage::Mapping, mappingBegun},
                                           {MapStage::Writing, writingStatus(std::uint64_t(report.size()))}};
    std::optional<HangingMount> mount;
    if (hung) {
        QVERIFY(makeTree(scratch.path(), {"d:away", "d:tree/hung"}));
        mount.emplace(scratch.path() + "/away", scratch.path() + "/tree/hung");
        if (!mount->isMounted())
            QSKIP("needs a FUSE mount: " + mount->failure());
        QVERIFY(mount->stop());
    }
    QString progressShown;
    QString statusOnClosing;
    auto act = [&] {
        greyedWhileRunning = !driver.root()->isEnabled() && !driver.output()->isEnabled() && !mapButton->isEnabled()
            && !driver.filesToo()->isEnabled() && !driver.openBox()->isEnabled()
            && !driver.window.findChild<QAction *>("actionBrowsablePage")->isEnabled()
            && driver.window.findChild<QPushButton *>("exitButton")->isEnabled();
        // Compared once the run is over.
        static_cast<void>(QTest::qWaitFor([&] { return driver.window.statusBar()->currentMessage() == progress.value(stage); }));
        progressShown = driver.window.statusBar()->currentMessage();
        // Slowed only now, while the stage waits: strace stops every call of every thread it follows.
        if (!slowed.isEmpty()) {
            slowWrites.start("strace", {"-f", "-qqq", "-o", "/dev/null", "-e", "trace=" + slowed, "-e",
                                        "inject=" + slowed + (copiedSlowly ? ":delay_enter=200000" : ":delay_enter=1000000"),
                                        "-p", QString::number(::getpid())});
            static_cast<void>(QTest::qWaitFor([] { return tracerOf(::getpid()) != 0; }, 10000));
        }
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
        else if (action == "About") // its box runs an event loop of its own until closed
            QTimer::singleShot(0, &driver.window, [&] { driver.window.findChild<QAction *>("actionAbout")->trigger(); });
        statusOnClosing = driver.window.statusBar()->currentMessage();
    };

    // The stage's thread posts the action to the GUI thread and waits until
    // it has been handled. A GUI thread that waited for the stage would never
    // handle it; the bound only keeps such a fault from hanging the suite.
    // With the About box open, writing is held long enough for the status
    // bar to follow it. Each stage's thread gives its nice value; while the
    // tree is listed, the nice value each thread the run has started had
    // when last looked at is kept.
    const int windowNice = ::getpriority(PRIO_PROCESS, ::gettid());
    const int walkNice = std::min(windowNice + 10, 19);
    std::mutex seenMutex;
    QSet<int> stageNices;
    int walkSamples = 0;
    QMap<int, int> runNices;
    QMap<int, int> timesSeen;
    QMap<int, int> threadsBeforeRun;
    bool handled = false;
    bool writingHeld = false;
    driver.window.mapRun().setObserver([&](MapStage now, std::uint64_t) {
        {
            const std::lock_guard<std::mutex> lock(seenMutex);
            stageNices << ::getpriority(PRIO_PROCESS, ::gettid());
            if (now == MapStage::Counting && handled) {
                ++walkSamples;
                const QMap<int, int> nices = threadNices();
                for (auto thread = nices.begin(); thread != nices.end(); ++thread) {
                    if (!threadsBeforeRun.contains(thread.key())) {
                        runNices[thread.key()] = thread.value();
                        ++timesSeen[thread.key()];
                    }
                }
            }
        }
        if (action == "About" && now == MapStage::Mapping && !writingHeld) {
            writingHeld = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
        }
        if (now != stage || handled || (hung && !HangingMount::isWaitedOnBy(::getpid())))
            return;
        auto done = std::make_shared<std::promise<void>>();
        QMetaObject::invokeMethod(&driver.window, [act, done] {
            act();
            done->set_value();
        }, Qt::QueuedConnection);
        handled = done->get_future().wait_for(std::chrono::minutes(2)) == std::future_status::ready;
    });
    std::optional<BusyCores> busyCores;
    if (busy) {
        busyCores.emplace();
        driver.lookEvery(std::chrono::milliseconds(10));
    }
    const EventGaps gaps;
    threadsBeforeRun = threadNices();
    driver.map(action == "Return" ? Qt::Key_Return : Qt::Key_unknown);
    const qint64 longestGap = gaps.longest();
    const qint64 longestSeen = gaps.longestSeen();
    busyCores.reset();

    QVERIFY(handled);
    QVERIFY(greyedWhileRunning);
    QCOMPARE(progressShown, progress.value(stage));
    // Looked at like a user, not at every round of the event loop, a
    // window on busy cores is seen at the end of its run.
    if (busy)
        QCOMPARE(driver.labels(), states.last());
    else
        QCOMPARE(driver.states, states);
    QCOMPARE(driver.window.isVisible(), windowOpen);
    QCOMPARE(runs, 1);
    QVERIFY(driver.shownStatus().startsWith(status));
    QCOMPARE(fileContents(output) == earlier, !reportReplaced);
    if (reportReplaced)
        QCOMPARE(fileContents(output), report);
    // No temporary file is left beside the report.
    QCOMPARE(QFileInfo(output).dir().entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"report.html"});
    if (!slowed.isEmpty())
        QVERIFY2(statusOnClosing.endsWith("; the window closes once the report is whole"), qPrintable(statusOnClosing));
    // The form is as it was before the run.
    for (QLineEdit *field : {driver.root(), driver.output()})
        QVERIFY(field->isEnabled() && field->completer() && field->completer()->widget() == field);
    QVERIFY(mapButton->isEnabled());
    if (action == "About") {
        QVERIFY(driver.endedWithBoxOpen);
        QVERIFY2(driver.statusesWhileOpen.contains(mappingBegun), qPrintable(driver.statusesWhileOpen.join(" | ")));
        QVERIFY(driver.statusesWhileOpen.last().startsWith("Report written: "));
    }
    // The stages yield the processor to the window, which keeps its priority.
    QCOMPARE(stageNices, QSet<int>{walkNice});
    QCOMPARE(::getpriority(PRIO_PROCESS, ::gettid()), windowNice);
    if (busy) {
        // Under AddressSanitizer, a thread that frees memory past the
        // quarantine's limit recycles the quarantine of every thread, for
        // hundreds of milliseconds, and the window's thread frees as it
        // paints: the window's answers are timed in the plain build.
        if (!underAddressSanitizer)
            QVERIFY2(longestGap < 100, qPrintable(QString("%1 ms without events beyond the processors' own stalls, %2 ms in all")
                                                      .arg(longestGap)
                                                      .arg(longestSeen)));
        // The walkers too, every thread the run started, where the listing
        // lasted long enough to be looked at.
        // A thread seen once may not yet have lowered itself, its first act.
        QSet<int> niceOfLongerThreads;
        for (auto thread = timesSeen.begin(); thread != timesSeen.end(); ++thread) {
            if (thread.value() > 1)
                niceOfLongerThreads << runNices.value(thread.key());
        }
        if (walkSamples > 1)
            QCOMPARE(niceOfLongerThreads, QSet<int>{walkNice});
    }
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
    QVERIFY(driver.shownStatus().startsWith("Report written: " + output + ", "));
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
    QCOMPARE(driver.shownStatus(), "Report not written: " + here + "/missing/report.html: No such file or directory");
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
    QCOMPARE(driver.outcomeInFull(), writtenMessage + "; it could not be opened: xdg-open could not be started");

    // The next run does not repeat what no longer holds.
    driver.openBox()->setChecked(false);
    driver.map();
    QCOMPARE(driver.shownStatus(), writtenMessage);
}

QTEST_MAIN(tst_MapRun)
#include "tst_maprun.moc"
