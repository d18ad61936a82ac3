#include "childprocess.h"
#include "headlessbrowser.h"
#include "mapjob.h"
#include "scratchdirectory.h"
#include "testtree.h"

#include <QDateTime>
#include <QJsonArray>
#include <QProcess>
#include <QUrl>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <sstream>

// The browsable page as a person meets it: loaded from its file in
// headless Chromium, looked at, typed into.

namespace {

// Names that break naive writers: markup, quotes, controls, every kind of
// byte that is not valid UTF-8, characters beyond U+FFFF.
const QList<QByteArray> nastyNames = {
    "quote\"d", "back\\slash", "ctl\x01\x1f\x7f", "new\nline", "carriage\rreturn", "tab\there", "<b>&amp;",
    "<script>alert(1)<!--", "a&b", "\xf0\x9f\x98\x80 \xf0\x9d\x84\x9e", "next\xc2\x85line",
    "sep\xe2\x80\xa8", "caf\xc3\xa9", "\xff", "caf\xe9", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82x",
    "a\x80z", " ", "\x02\x03"};

QList<QByteArray> nastyTree()
{
    QList<QByteArray> entries = {"d:tree", "d:tree/sub", "d:tree/sub/deeper", "tree/sub/deeper/last", "d:tree/\xfe\\\n",
                                 "d:tree/locked", "tree/locked/hidden", "l:tree/gone=nowhere", "p:tree/fifo",
                                 "l:tree/sub/up=.."};
    for (const QByteArray &name : nastyNames)
        entries << "tree/" + name << "tree/\xfe\\\n/" + name << "d:tree/sub/" + name;
    return entries;
}

// A name as the page shows it: its bytes read as UTF-8, each byte that is
// not part of a valid sequence standing for the character of its value.
QString shownName(const QByteArray &name)
{
    QString shown;
    for (qsizetype i = 0; i < name.size();) {
        const uchar lead = uchar(name[i]);
        const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        const QByteArray sequence = name.mid(i, length);
        const QString decoded = QString::fromUtf8(sequence);
        if (length > 1 && sequence.size() == length && decoded.toUtf8() == sequence
            && (!decoded.contains(QChar::ReplacementCharacter) || sequence == "\xef\xbf\xbd")) {
            shown += decoded;
            i += length;
        } else {
            shown += QChar(lead);
            ++i;
        }
    }
    // One with nothing to see shows each character as an escape.
    if (std::all_of(shown.begin(), shown.end(), [](QChar c) {
            return c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
        })) {
        QString escaped;
        for (QChar c : std::as_const(shown))
            escaped += QString("\\u%1").arg(c.unicode(), 4, 16, QChar('0')).toUpper().replace("\\U", "\\u");
        return escaped;
    }
    return shown;
}

// A path as the page shows it: each name as shownName() gives it.
QString shownPath(const QByteArray &path)
{
    QStringList names;
    for (const QByteArray &name : path.split('/'))
        names << shownName(name);
    return names.join('/');
}

// A row as the page shows it: "LEVEL|NAME|REASON|FOLDERS|FILES", the
// counts empty for a file.
QString rowLine(int level, const QString &name, const QString &reason, const QString &folders, const QString &files)
{
    return QString::number(level) + '|' + name + '|' + reason + '|' + folders + '|' + files;
}

struct Subtree
{
    QStringList rows;
    qint64 folders = 0;
    qint64 files = 0;
};

// The rows of every entry below `path`, all folders open, made from the
// disk with readdir and stat. A directory already on the path is a loop;
// one that others may not read is unreadable to nobody.
Subtree onDisk(const QByteArray &path, int level, bool listFiles, bool byNobody, QList<std::pair<dev_t, ino_t>> onPath = {})
{
    Subtree tree;
    struct stat self;
    if (::stat(path.constData(), &self) != 0)
        return tree;
    onPath.append({self.st_dev, self.st_ino});
    for (const QByteArray &name : readdirOrder(path)) {
        const QByteArray inner = path + '/' + name;
        struct stat status;
        if (::stat(inner.constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            ++tree.files;
            if (listFiles)
                tree.rows << rowLine(level, shownName(name), {}, {}, {});
            continue;
        }
        ++tree.folders;
        if (onPath.contains(std::pair(status.st_dev, status.st_ino))) {
            tree.rows << rowLine(level, shownName(name), "not entered: loop", "0", "0");
        } else if (byNobody && (status.st_mode & 05) != 05) {
            tree.rows << rowLine(level, shownName(name), "unreadable: Permission denied", "0", "0");
        } else {
            const Subtree below = onDisk(inner, level + 1, listFiles, byNobody, onPath);
            tree.rows << rowLine(level, shownName(name), {}, QString::number(below.folders), QString::number(below.files))
                      << below.rows;
            tree.folders += below.folders;
            tree.files += below.files;
        }
    }
    return tree;
}

// A copy of velmora-map in `folder`, which nobody may run wherever the
// build is; empty when it cannot be made.
QString copyNobodyCanRun(const QByteArray &folder)
{
    return copyNobodyCanRun(QStringLiteral(VELMORA_MAP), folder);
}

// Writes the page of `root` to `page`; gives velmora-map's exit status.
int writePage(const QByteArray &root, const QByteArray &page, QStringList options, bool byNobody = false,
              const QByteArray &scratch = {})
{
    QProcess process;
    if (byNobody)
        process.setChildProcessModifier([] {
            if (!dropRoot())
                ::_exit(100);
        });
    process.start(byNobody ? copyNobodyCanRun(scratch) : QStringLiteral(VELMORA_MAP),
                  options << "--format=browse" << QFile::decodeName(root) << QFile::decodeName(page));
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

// Writes the page of `root`, sorted by name, with each entry's size and
// time read, as nobody, for whom entries of a folder that may be read but
// not searched have no metadata; gives 0 when it could.
int writeSizedPage(const QByteArray &root, const QByteArray &page)
{
    return runInChild([&] {
        if (!dropRoot())
            return 100;
        std::ostringstream errors;
        MapJob job(root.toStdString(), errors);
        WalkRules rules;
        rules.order = EntryOrder::Name;
        rules.readMetadata = true;
        job.setRules(&rules);
        job.prepareFor(ReportFormat::Browse);
        QFile out(QFile::decodeName(page));
        if (!job.count() || !out.open(QIODevice::WriteOnly))
            return 1;
        const bool written = job.map(ReportFormat::Browse, ListedEntries::FilesAndDirectories, [&out](std::string_view piece) {
            return out.write(piece.data(), qint64(piece.size())) == qint64(piece.size());
        });
        return written ? 0 : 2;
    });
}

// The rows in view, top to bottom, as rowLine() gives them.
const char rowsInView[] = R"js(
[...document.querySelectorAll('#tree .row:not([hidden])')]
    .sort((a, b) => a.getBoundingClientRect().top - b.getBoundingClientRect().top)
    .map(row => [row.getAttribute('aria-level'), row.querySelector('.name').textContent,
                 row.querySelector('.reason').textContent,
                 ...[...row.querySelectorAll('.count')].map(count => count.textContent.replace(/,/g, ''))].join('|'))
)js";

QStringList stringsOf(const QJsonValue &value)
{
    QStringList strings;
    for (const QJsonValue &item : value.toArray())
        strings << item.toString();
    return strings;
}

// What went wrong while the page loaded and ran: exceptions, errors in its
// console (a style or script the policy refused is one), and any request
// besides the page itself.
QStringList problems(const HeadlessBrowser &browser, const QString &pageUrl)
{
    QStringList found;
    for (const QJsonObject &event : browser.events()) {
        const QJsonObject params = event["params"].toObject();
        const QString method = event["method"].toString();
        if (method == "Runtime.exceptionThrown")
            found << "exception: " + params["exceptionDetails"].toObject()["text"].toString();
        else if (method == "Log.entryAdded" && params["entry"].toObject()["level"] == "error")
            found << "console: " + params["entry"].toObject()["text"].toString();
        else if (method == "Runtime.consoleAPICalled" && params["type"] == "error")
            found << "console.error";
        else if (method == "Network.requestWillBeSent" && params["request"].toObject()["url"] != pageUrl)
            found << "request: " + params["request"].toObject()["url"].toString();
    }
    return found;
}

// A browser showing the page at `page`, tall enough for a hundred rows,
// `width` CSS pixels wide.
std::unique_ptr<HeadlessBrowser> openPage(const QByteArray &page, bool script = true, int width = 1200)
{
    auto browser = std::make_unique<HeadlessBrowser>();
    if (!browser->isReady())
        return browser;
    browser->call("Emulation.setDeviceMetricsOverride",
                  {{"width", width}, {"height", 3000}, {"deviceScaleFactor", 1}, {"mobile", false}});
    if (!script)
        browser->call("Emulation.setScriptExecutionDisabled", {{"value", true}});
    if (browser->load(QUrl::fromLocalFile(QFile::decodeName(page)).toString(QUrl::FullyEncoded)) && script)
        browser->waitUntil("performance.getEntriesByName('tree-drawn').length > 0");
    return browser;
}

// Clicks the middle of the element `selector` names, as a mouse would.
void click(HeadlessBrowser &browser, const QString &selector)
{
    const QJsonArray at = browser.evaluate("(() => { const box = document.querySelector('" + selector
                                           + "').getBoundingClientRect(); return [box.x + box.width / 2, box.y + box.height / 2]; })()")
                              .toArray();
    for (const char *type : {"mousePressed", "mouseReleased"})
        browser.call("Input.dispatchMouseEvent", {{"type", type}, {"x", at.at(0)}, {"y", at.at(1)}, {"button", "left"},
                                                  {"clickCount", 1}});
}

QString activeName(HeadlessBrowser &browser)
{
    return browser.evaluate("document.querySelector('#tree .row.active .name').textContent").toString();
}

// What a screen reader is told the element `selector` names is.
QString accessibleName(HeadlessBrowser &browser, const QString &selector)
{
    const QJsonObject element = browser.call("Runtime.evaluate", {{"expression", "document.querySelector('" + selector + "')"}});
    const QJsonObject node = browser.call("Accessibility.getPartialAXTree",
                                          {{"objectId", element["result"].toObject()["objectId"]}, {"fetchRelatives", false}});
    return node["nodes"].toArray().at(0).toObject()["name"].toObject()["value"].toString();
}

// A size below 1 MiB as the page shows it.
QString kibText(qint64 bytes)
{
    if (bytes < 1024)
        return QString::number(bytes) + " B";
    const double kib = bytes / 1024.0;
    return (kib < 9.95 ? QString::number(kib, 'f', 1) : QString::number(qRound(kib))) + " KiB";
}

// Given an element showing a path: whether its names are drawn left to
// right in the path's order, and its last name whole within it and within
// its own box, which cuts a name it is narrower than.
const char pathAsRead[] = R"js(
(element => {
    const walker = document.createTreeWalker(element, NodeFilter.SHOW_TEXT);
    const pieces = [];
    let text = '';
    for (let node; (node = walker.nextNode());) {
        pieces.push([node, text.length]);
        text += node.data;
    }
    const at = offset => {
        let k = pieces.length - 1;
        while (pieces[k][1] > offset)
            k--;
        return [pieces[k][0], offset - pieces[k][1]];
    };
    const boxes = [];
    let holder = element;
    let start = 0;
    for (const name of text.split('/')) {
        if (name.trim() !== '') {
            const range = document.createRange();
            range.setStart(...at(start));
            range.setEnd(...at(start + name.length));
            boxes.push(range.getBoundingClientRect());
            holder = range.startContainer.parentElement;
        }
        start += name.length + 1;
    }
    const whole = element.getBoundingClientRect();
    const own = holder.getBoundingClientRect();
    const last = boxes[boxes.length - 1];
    return boxes.every((box, k) => k === 0 || box.left > boxes[k - 1].left)
        && last.left >= whole.left - 0.5 && last.right <= whole.right + 0.5
        && last.left >= own.left - 0.01 && last.right <= own.right + 0.01;
}))js";

} // namespace

class tst_BrowsePage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showsEveryName_data();
    void showsEveryName();
    void deepChainOpensLevelByLevel_data();
    void deepChainOpensLevelByLevel();
    void opensPathByKeyboard_data();
    void opensPathByKeyboard();
    void searchFindsNames_data();
    void searchFindsNames();
    void manyHitsShownOnDemand();
    void sortsByColumnHeads_data();
    void sortsByColumnHeads();
    void withoutScript_data();
    void withoutScript();
    void showsSizesAndDates_data();
    void showsSizesAndDates();
    void showsWhatFoldersHold_data();
    void showsWhatFoldersHold();

private:
    bool m_canStart = false;
    QString m_whyNot;
};

void tst_BrowsePage::initTestCase()
{
    HeadlessBrowser browser;
    m_canStart = browser.isReady();
    m_whyNot = browser.failure();
}

#define REQUIRE_BROWSER()                                                                                              \
    if (!m_canStart)                                                                                                   \
    QSKIP(qPrintable("headless chromium cannot start here: " + m_whyNot))

void tst_BrowsePage::showsEveryName_data()
{
    QTest::addColumn<bool>("listFiles");
    QTest::addColumn<bool>("byNobody"); // for whom the directory "locked" cannot be read

    QTest::newRow("files and folders") << true << false;
    QTest::newRow("folders only") << false << false;
    QTest::newRow("a folder that cannot be read") << true << true;
}

void tst_BrowsePage::showsEveryName()
{
    REQUIRE_BROWSER();
    QFETCH(bool, listFiles);
    QFETCH(bool, byNobody);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), nastyTree()));
    QVERIFY(::chmod(scratch.path().constData(), 0777) == 0); // where nobody writes the page
    QVERIFY(::chmod((scratch.path() + "/tree/locked").constData(), 0700) == 0);
    const QByteArray root = scratch.path() + "/tree";
    const QByteArray page = scratch.path() + "/map.html";
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QCOMPARE(writePage(root, page, listFiles ? QStringList{"-f"} : QStringList{}, byNobody, scratch.path()),
             byNobody ? 3 : 0);
    const QByteArray written = fileContents(page);
    QVERIFY(std::all_of(written.begin(), written.end(), [](char c) { return c > 0 && uchar(c) < 0x80; }));

    const auto browser = openPage(page);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));
    // The root's first level is open; "*" opens every folder below it.
    const Subtree expected = onDisk(root, 2, listFiles, byNobody);
    const QString rootRow = rowLine(1, shownName(root), {}, QString::number(expected.folders), QString::number(expected.files));
    QStringList firstLevel = {rootRow};
    for (const QString &row : expected.rows)
        if (row.startsWith("2|"))
            firstLevel << row;
    QCOMPARE(stringsOf(browser->evaluate(rowsInView)), firstLevel);
    browser->call("Runtime.evaluate", {{"expression", "document.getElementById('tree').focus()"}});
    browser->pressKey("*");
    QCOMPARE(stringsOf(browser->evaluate(rowsInView)), QStringList{rootRow} + expected.rows);
    // Without sizes, no column for them.
    QCOMPARE(browser->evaluate("[...document.querySelectorAll('#columns button')].filter(head => head.offsetWidth > 0)"
                               ".map(head => head.textContent).join(' ') + document.querySelectorAll('.size, .date').length")
                 .toString(),
             "Name Folders Files0");

    // The heading: where, when, how, and the two counts.
    const QString heading = browser->evaluate("document.querySelector('header').innerText").toString();
    QVERIFY2(heading.contains(QString("%1 folders and %2 files below it").arg(expected.folders).arg(expected.files)),
             qPrintable(heading));
    QVERIFY(heading.contains(listFiles ? "folders and files" : "folders only"));
    const QString made = browser->evaluate("document.getElementById('how').textContent.match(/Made (\\S+ \\S+) UTC/)[1]")
                             .toString();
    QDateTime madeTime = QDateTime::fromString(made, "yyyy-MM-dd HH:mm:ss");
    madeTime.setTimeSpec(Qt::UTC);
    const qint64 madeAt = madeTime.toSecsSinceEpoch();
    QVERIFY2(madeAt >= before - 1 && madeAt <= QDateTime::currentSecsSinceEpoch(), qPrintable(made));
    QCOMPARE(problems(*browser, QUrl::fromLocalFile(QFile::decodeName(page)).toString(QUrl::FullyEncoded)), QStringList());
}

void tst_BrowsePage::deepChainOpensLevelByLevel_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<int>("level");      // of the focused row at the end
    QTest::addColumn<int>("rowsShown");  // rows that can be shown, scrolled to
    QTest::addColumn<int>("width");      // of the window, in CSS pixels

    QTest::newRow("level by level") << (QStringList{"Home"} << QList<QString>(30, "ArrowRight")) << 16 << 17 << 1200;
    QTest::newRow("open all below, to the end") << QStringList{"Home", "*", "End"} << 100001 << 100001 << 1200;
    QTest::newRow("open all below, back up one") << QStringList{"Home", "*", "End", "ArrowLeft", "ArrowLeft"} << 100000
                                                 << 100000 << 1200;
    QTest::newRow("to the end, at 200 % zoom") << QStringList{"Home", "*", "End"} << 100001 << 100001 << 640;
}

void tst_BrowsePage::deepChainOpensLevelByLevel()
{
    REQUIRE_BROWSER();
    QFETCH(QStringList, keys);
    QFETCH(int, level);
    QFETCH(int, rowsShown);
    QFETCH(int, width);

    // A chain of 100,000 levels, far beyond where nested lists stop nesting.
    static ScratchDirectory scratch;
    static const QByteArray page = scratch.path() + "/chain.html";
    if (!QFile::exists(QFile::decodeName(page))) {
        const int root = ::open(scratch.path().constData(), O_DIRECTORY | O_RDONLY);
        QVERIFY(root >= 0 && ::mkdirat(root, "chain", 0755) == 0);
        int at = ::openat(root, "chain", O_DIRECTORY | O_RDONLY);
        ::close(root);
        for (int depth = 1; depth < 100001 && at >= 0; ++depth) {
            const QByteArray name = "d" + QByteArray::number(depth);
            QVERIFY(::mkdirat(at, name.constData(), 0755) == 0);
            const int next = ::openat(at, name.constData(), O_DIRECTORY | O_RDONLY);
            ::close(at);
            at = next;
        }
        QVERIFY(at >= 0);
        ::close(at);
        QCOMPARE(writePage(scratch.path() + "/chain", page, {}), 0);
    }
    const auto browser = openPage(page, true, width);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));
    browser->call("Runtime.evaluate", {{"expression", "document.getElementById('tree').focus()"}});
    for (const QString &key : keys)
        browser->pressKey(key);

    // Each level keeps its own: the row says its level, and the name is the
    // one on disk at that depth.
    const QJsonArray focused = browser->evaluate(R"js(
        (() => { const row = document.querySelector('#tree .row.active');
                 return [Number(row.getAttribute('aria-level')), row.querySelector('.name').textContent,
                         row.querySelector('.level').textContent,
                         row.querySelector('.name').getBoundingClientRect().left,
                         row.querySelector('.name').clientWidth > 0
                             && row.querySelector('.name').scrollWidth <= row.querySelector('.name').clientWidth]; })())js").toArray();
    QCOMPARE(focused.at(0).toInt(), level);
    QCOMPARE(focused.at(1).toString(), "d" + QString::number(level - 1));
    // Deep rows are indented no further than a screen allows and show their level.
    QCOMPARE(focused.at(2).toString(), level > 25 ? "level " + QLocale(QLocale::English).toString(level) : QString());
    QVERIFY2(focused.at(3).toDouble() < 700, qPrintable(QString::number(focused.at(3).toDouble())));
    QVERIFY(focused.at(4).toBool()); // the whole name
    QCOMPARE(browser->evaluate("document.getElementById('tree-space').getBoundingClientRect().height >= 15000000 ||"
                               " document.getElementById('tree-space').getBoundingClientRect().height")
                 .toVariant(),
             rowsShown * 24 >= 15000000 ? QVariant(true) : QVariant(rowsShown * 24));
    QCOMPARE(problems(*browser, QUrl::fromLocalFile(QFile::decodeName(page)).toString(QUrl::FullyEncoded)), QStringList());
}

void tst_BrowsePage::opensPathByKeyboard_data()
{
    QTest::addColumn<QByteArrayList>("path");   // below the root, opened folder by folder
    QTest::addColumn<QStringList>("thenKeys");
    QTest::addColumn<QByteArray>("focused");    // the path of the focused entry at the end
    QTest::addColumn<bool>("open");             // whether it is an open folder
    QTest::addColumn<QString>("facts");         // what the path bar says of it before its path

    QTest::newRow("down two levels") << QByteArrayList{"sub", "deeper"} << QStringList{} << QByteArray("sub/deeper") << true
                                     << "0 folders, 1 file";
    QTest::newRow("into a folder, to its first entry") << QByteArrayList{"sub", "deeper"} << QStringList{"ArrowRight"}
                                                       << QByteArray("sub/deeper/last") << false << "";
    QTest::newRow("a folder named in no valid UTF-8") << QByteArrayList{"\xfe\\\n"} << QStringList{"ArrowRight"}
                                                      << QByteArray() << false << "";
    QTest::newRow("closed again with Left") << QByteArrayList{"sub", "deeper"} << QStringList{"ArrowLeft"}
                                            << QByteArray("sub/deeper") << false << "0 folders, 1 file";
    QTest::newRow("up to the folder with Left") << QByteArrayList{"sub", "deeper"} << QStringList{"ArrowLeft", "ArrowLeft"}
                                                << QByteArray("sub") << true << "24 folders, 1 file";
    QTest::newRow("Enter closes it") << QByteArrayList{"sub"} << QStringList{"Enter"} << QByteArray("sub") << false
                                     << "24 folders, 1 file";
}

void tst_BrowsePage::opensPathByKeyboard()
{
    REQUIRE_BROWSER();
    QFETCH(QByteArrayList, path);
    QFETCH(QStringList, thenKeys);
    QFETCH(QByteArray, focused);
    QFETCH(bool, open);
    QFETCH(QString, facts);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), nastyTree()));
    const QByteArray root = scratch.path() + "/tree";
    const QByteArray page = scratch.path() + "/map.html";
    QCOMPARE(writePage(root, page, {"-f"}), 0);
    const auto browser = openPage(page);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));

    // As a person would: Tab from the search field to the tree, Down to each
    // folder, Right to open it.
    browser->pressKey("/");
    for (int tab = 0; tab < 5 && !browser->evaluate("document.activeElement.id === 'tree'").toBool(); ++tab)
        browser->pressKey("Tab");
    QVERIFY(browser->evaluate("document.activeElement.id === 'tree'").toBool());
    browser->pressKey("Home");
    for (const QByteArray &name : path) {
        for (int step = 0; step < 100 && activeName(*browser) != shownName(name); ++step)
            browser->pressKey("ArrowDown");
        QCOMPARE(activeName(*browser), shownName(name));
        browser->pressKey("ArrowRight");
    }
    for (const QString &key : thenKeys)
        browser->pressKey(key);

    // None given: the first entry of the folder, in readdir's order.
    if (focused.isEmpty())
        focused = path.first() + '/' + readdirOrder(root + '/' + path.first()).first();
    const QJsonArray shown = browser->evaluate(R"js(
        (() => { const tree = document.getElementById('tree');
                 const row = document.getElementById(tree.getAttribute('aria-activedescendant'));
                 return [document.getElementById('path-bar').textContent, row.getAttribute('aria-expanded'),
                         document.activeElement === tree]; })())js").toArray();
    const QString bar = shown.at(0).toString();
    QVERIFY2(bar.endsWith(shownPath(root + '/' + focused)), qPrintable(bar));
    QCOMPARE(bar.chopped(shownPath(root + '/' + focused).size()), facts.isEmpty() ? facts : facts + " in ");
    // The tree says which row is focused: the path bar does not say it again.
    QVERIFY(browser->evaluate("document.getElementById('path-bar').closest('[aria-live], [role=status], [role=log]') === null")
                .toBool());
    QCOMPARE(shown.at(1).toString(), open ? "true" : QFileInfo(QFile::decodeName(root + '/' + focused)).isDir() ? "false" : "");
    QVERIFY(shown.at(2).toBool());
}

// Folders of 150 characters, 12 deep.
const QByteArray longPath = QByteArrayList(12, QByteArray(150, 'w')).join('/');

void tst_BrowsePage::searchFindsNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArrayList>("hits"); // paths below the root
    QTest::addColumn<int>("width");           // of the window, in CSS pixels

    QTest::newRow("part of a name, either case") << "report" << QByteArrayList{"Report.TXT", "sub/report.txt"} << 1200;
    QTest::newRow("a folder's name") << "SUB" << QByteArrayList{"sub", "sub/sub-notes"} << 1200;
    QTest::newRow("only ASCII letters fold") << QString("caf\u00e9") << QByteArrayList{"sub/caf\xc3\xa9.txt"} << 1200;
    QTest::newRow("* matches the whole name") << "*.txt"
                                              << QByteArrayList{"Report.TXT", "sub/report.txt", "sub/caf\xc3\xa9.txt",
                                                                "sub/CAF\xc3\x89.TXT"} << 1200;
    QTest::newRow("? is one character") << "draft-?.md" << QByteArrayList{"sub/sub-notes/draft-1.md"} << 1200;
    QTest::newRow("? is one character beyond U+FFFF") << "?x" << QByteArrayList{"\xf0\x9f\x98\x80x"} << 1200;
    QTest::newRow("a byte that is not UTF-8") << QString("\u00ff") << QByteArrayList{"x\xffy"} << 1200;
    QTest::newRow("nothing") << "nowhere" << QByteArrayList{} << 1200;
    QTest::newRow("far below the rows in view") << "item-250" << QByteArrayList{"many/item-250"} << 1200;
    QTest::newRow("in a folder whose name overrides the direction")
        << "rtl-deep" << QByteArrayList{"\xe2\x80\xaegnp.exe/inner/rtl-deep"} << 1200;
    QTest::newRow("at the end of a path longer than a line") << "needle" << QByteArrayList{longPath + "/needle"} << 1200;
    QTest::newRow("a name that fits, after a long path, in a narrow window")
        << "bottom_file" << QByteArrayList{longPath + "/bottom_file_name.log"} << 500;
}

void tst_BrowsePage::searchFindsNames()
{
    REQUIRE_BROWSER();
    QFETCH(QString, typed);
    QFETCH(QByteArrayList, hits);
    QFETCH(int, width);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QList<QByteArray> entries = {"d:tree", "tree/Report.TXT", "d:tree/sub", "tree/sub/report.txt",
                                 "tree/sub/caf\xc3\xa9.txt", "tree/sub/CAF\xc3\x89.TXT", "d:tree/sub/sub-notes",
                                 "tree/sub/sub-notes/draft-1.md", "tree/sub/sub-notes/draft-22.md", "tree/x\xffy",
                                 "tree/\xf0\x9f\x98\x80x", "d:tree/many"};
    for (int i = 0; i < 300; ++i)
        entries << "tree/many/item-" + QByteArray::number(i);
    entries << "d:tree/\xe2\x80\xaegnp.exe" << "d:tree/\xe2\x80\xaegnp.exe/inner" << "tree/\xe2\x80\xaegnp.exe/inner/rtl-deep";
    for (qsizetype slash = 0; (slash = longPath.indexOf('/', slash + 1)) >= 0;)
        entries << "d:tree/" + longPath.left(slash);
    entries << "d:tree/" + longPath << "tree/" + longPath + "/needle" << "tree/" + longPath + "/bottom_file_name.log";
    QVERIFY(makeTree(scratch.path(), entries));
    const QByteArray root = scratch.path() + "/tree";
    const QByteArray page = scratch.path() + "/map.html";
    QCOMPARE(writePage(root, page, {"-f"}), 0);
    const auto browser = openPage(page, true, width);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));

    // "/" goes to the field from anywhere; Enter finds at once.
    browser->pressKey("/");
    QVERIFY(browser->evaluate("document.activeElement.id === 'search-field'").toBool());
    browser->typeText(typed);
    browser->pressKey("Enter");
    const QString summary = browser->evaluate("document.getElementById('search-summary').textContent").toString();
    QCOMPARE(summary, hits.isEmpty() ? "No name found"
                                     : QString::number(hits.size()) + (hits.size() == 1 ? " name found" : " names found"));
    QStringList shown = stringsOf(browser->evaluate(
        "[...document.querySelectorAll('#hit-list button')].map(hit => hit.textContent)"));
    QStringList expected;
    for (const QByteArray &hit : hits)
        expected << (hit.size() > 400 ? "" : shownPath(root + '/' + hit));
    for (QString &path : shown)
        path = path.contains(QChar(0x2026)) ? "" : path;
    shown.sort();
    expected.sort();
    QCOMPARE(shown, expected);
    if (hits.isEmpty())
        return;
    // Each name of a hit's path in its place, the name found in view.
    QVERIFY(browser->evaluate("[...document.querySelectorAll('#hit-list button')].every(" + QString(pathAsRead) + ")").toBool());

    // Choosing a hit opens the tree to it and focuses it there, on screen;
    // Down goes on to the row drawn below it. A hit in focus is seen so.
    browser->pressKey("Tab");
    const double focusContrast = browser->evaluate(R"js(
        (() => { const luminance = color => color.match(/[\d.]+/g).slice(0, 3).map(value => value / 255)
                     .map(value => value <= 0.03928 ? value / 12.92 : ((value + 0.055) / 1.055) ** 2.4)
                     .reduce((sum, value, k) => sum + value * [0.2126, 0.7152, 0.0722][k], 0);
                 const style = getComputedStyle(document.activeElement);
                 if (style.outlineStyle === 'none' || parseFloat(style.outlineWidth) < 2)
                     return 0;
                 const [a, b] = [luminance(style.outlineColor), luminance(style.backgroundColor)];
                 return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05); })())js").toDouble();
    QVERIFY2(focusContrast >= 3, qPrintable(QString::number(focusContrast)));
    const QString chosen = browser->evaluate("document.activeElement.textContent").toString();
    browser->pressKey("Enter");
    QVERIFY(browser->evaluate("document.activeElement.id === 'tree'").toBool());
    QCOMPARE(browser->evaluate("document.getElementById('path-bar').textContent").toString().section(" in ", -1), chosen);
    QVERIFY(browser->evaluate("(" + QString(pathAsRead) + ")(document.getElementById('path-bar'))").toBool());
    const QJsonArray inView = browser->evaluate(R"js(
        (() => { const tree = document.getElementById('tree').getBoundingClientRect();
                 const row = document.querySelector('#tree .row.active');
                 if (!row)
                     return ['not drawn', ''];
                 const box = row.getBoundingClientRect();
                 const below = [...document.querySelectorAll('#tree .row:not([hidden])')]
                     .find(other => Math.abs(other.getBoundingClientRect().top - box.bottom) < 1);
                 return [box.top >= tree.top && box.bottom <= tree.bottom ? row.querySelector('.name').textContent : 'off screen',
                         below ? below.querySelector('.name').textContent : '']; })())js").toArray();
    QCOMPARE(inView.at(0).toString(), chosen.section('/', -1));
    browser->pressKey("ArrowDown");
    if (!inView.at(1).toString().isEmpty())
        QCOMPARE(activeName(*browser), inView.at(1).toString());
}

void tst_BrowsePage::manyHitsShownOnDemand()
{
    REQUIRE_BROWSER();
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QList<QByteArray> entries = {"d:tree", "d:tree/many"};
    for (int i = 0; i < 450; ++i)
        entries << "tree/many/item-" + QByteArray::number(i);
    QVERIFY(makeTree(scratch.path(), entries));
    const QByteArray page = scratch.path() + "/map.html";
    QCOMPARE(writePage(scratch.path() + "/tree", page, {"-f"}), 0);
    const auto browser = openPage(page);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));

    browser->pressKey("/");
    browser->typeText("ITEM");
    browser->pressKey("Enter");
    const QString shown = "[document.getElementById('search-summary').textContent,"
                          " document.querySelectorAll('#hit-list button').length,"
                          " document.getElementById('more-hits').hidden ? '' : document.getElementById('more-hits').textContent]";
    QCOMPARE(browser->evaluate(shown).toArray(), (QJsonArray{"450 names found", 200, "Show 250 more (250 not shown)"}));
    // Below the hits: scrolled to, then clicked.
    browser->evaluate("document.getElementById('more-hits').scrollIntoView()");
    click(*browser, "#more-hits");
    QCOMPARE(browser->evaluate(shown).toArray(), (QJsonArray{"450 names found", 450, ""}));
}

void tst_BrowsePage::sortsByColumnHeads_data()
{
    QTest::addColumn<QStringList>("options"); // of velmora-map besides -f
    QTest::addColumn<QStringList>("heads");   // clicked in turn: name, folders or files
    QTest::addColumn<QStringList>("first");   // the first rows below the root; "files" for the files in listing order
    QTest::addColumn<QString>("said");        // what the heading says of the order

    const QString listing = "in the file system's order";
    QTest::newRow("by name, case aside, numbers by value")
        << QStringList{} << QStringList{"name"} << QStringList{"a.txt", "B.txt", "big", "file2", "file10", "Middle", "small"}
        << listing;
    QTest::newRow("by name, the other way")
        << QStringList{} << QStringList{"name", "name"}
        << QStringList{"small", "Middle", "file10", "file2", "big", "B.txt", "a.txt"} << listing;
    QTest::newRow("by files below, most first")
        << QStringList{} << QStringList{"files"} << QStringList{"big", "Middle", "small", "files"} << listing;
    QTest::newRow("by folders below, most first, ties in listing order")
        << QStringList{} << QStringList{"folders"} << QStringList{"Middle", "listed: big small", "files"} << listing;
    QTest::newRow("by files, fewest first")
        << QStringList{} << QStringList{"files", "files"} << QStringList{"small", "Middle", "big", "files"} << listing;
    QTest::newRow("back to the listing order")
        << QStringList{} << QStringList{"name", "name", "name"} << QStringList{"listing"} << listing;
    const QString largest = "sorted by size, largest first";
    QTest::newRow("with sizes, largest first")
        << QStringList{"--sizes"} << QStringList{}
        << QStringList{"big", "file2", "Middle", "file10", "small", "a.txt", "B.txt"} << largest;
    QTest::newRow("with sizes, the listing order back after the names")
        << QStringList{"--sizes"} << QStringList{"name", "name", "name"} << QStringList{"listing"} << largest;
    QTest::newRow("with sizes, in byte order of names as asked")
        << QStringList{"--sizes", "--sort=name"} << QStringList{}
        << QStringList{"B.txt", "Middle", "a.txt", "big", "file10", "file2", "small"} << "sorted by name";
}

void tst_BrowsePage::sortsByColumnHeads()
{
    REQUIRE_BROWSER();
    QFETCH(QStringList, options);
    QFETCH(QStringList, heads);
    QFETCH(QStringList, first);
    QFETCH(QString, said);

    // Sizes far apart, whatever a folder's own size on this file system.
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "w:tree/file10=8000", "w:tree/file2=40000", "tree/B.txt",
                                      "w:tree/a.txt=100", "d:tree/big", "w:tree/big/1=80000", "tree/big/2", "tree/big/3",
                                      "d:tree/small", "w:tree/small/1=1000", "d:tree/Middle", "w:tree/Middle/1=10000",
                                      "tree/Middle/2", "d:tree/Middle/in", "d:tree/Middle/in2"}));
    const QByteArray root = scratch.path() + "/tree";
    const QByteArray page = scratch.path() + "/map.html";
    QCOMPARE(writePage(root, page, options << "-f"), 0);
    const auto browser = openPage(page);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));
    if (options.contains("--sizes"))
        QVERIFY(browser->waitUntil("performance.getEntriesByName('sizes-shown').length > 0"));
    QCOMPARE(browser->evaluate("document.getElementById('how').textContent").toString().section(" \u00b7 ", 4, 4), said);
    for (const QString &head : heads)
        click(*browser, "#columns [data-order=" + head + "]");

    // The expected rows, the listing order's parts taken from the disk.
    QStringList listed;
    QStringList files;
    for (const QByteArray &name : readdirOrder(root)) {
        listed << QString::fromUtf8(name);
        if (!QFileInfo(QFile::decodeName(root + '/' + name)).isDir())
            files << QString::fromUtf8(name);
    }
    QStringList expected;
    for (const QString &row : first) {
        if (row == "files") {
            expected << files;
        } else if (row == "listing") {
            expected << listed;
        } else if (row.startsWith("listed: ")) {
            const QStringList tied = row.mid(8).split(' ');
            for (const QString &name : listed)
                if (tied.contains(name))
                    expected << name;
        } else {
            expected << row;
        }
    }
    QStringList shown = stringsOf(browser->evaluate(rowsInView)).mid(1);
    for (QString &row : shown)
        row = row.section('|', 1, 1);
    QCOMPARE(shown, expected);
}

void tst_BrowsePage::withoutScript_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<QString>("counts");

    QTest::newRow("several of each") << QList<QByteArray>{"d:tree", "tree/a", "d:tree/b", "tree/b/c", "d:tree/e"}
                                     << "2 folders and 2 files below it";
    QTest::newRow("one of each") << QList<QByteArray>{"d:tree", "tree/a", "d:tree/b"} << "1 folder and 1 file below it";
}

void tst_BrowsePage::withoutScript()
{
    REQUIRE_BROWSER();
    QFETCH(QList<QByteArray>, entries);
    QFETCH(QString, counts);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), entries));
    const QByteArray page = scratch.path() + "/map.html";
    QCOMPARE(writePage(scratch.path() + "/tree", page, {}), 0);
    const auto browser = openPage(page, false);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));

    // What is shown; the browser's own evaluation runs where the page's script may not.
    const QString text = browser->evaluate("document.body.innerText").toString().simplified();
    QCOMPARE(browser->evaluate("document.querySelectorAll('[role=treeitem]').length").toInt(), 0);
    QVERIFY2(text.contains("Map of " + QFile::decodeName(scratch.path()) + "/tree"), qPrintable(text));
    QVERIFY2(text.contains(counts), qPrintable(text));
    QVERIFY2(text.contains("with JavaScript, which this browser is not running for it"), qPrintable(text));
    QVERIFY2(!text.contains("Find names"), qPrintable(text));
}

void tst_BrowsePage::showsSizesAndDates_data()
{
    QTest::addColumn<QStringList>("heads"); // clicked in turn
    // Every row below the root, all open: "NAME|SIZE|DATE|REASON|EXACT", T0 to
    // T2 standing for their local date and time, EXACT for the bytes a file's
    // size names in its title.
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("width"); // of the window, in CSS pixels
    QTest::addColumn<int>("levels"); // of a chain of folders listed before the rows

    // "again", a link to "folder" met first in name order, counts what it
    // holds, shared since deleting the link leaves it; "folder" is then
    // counted there. "inner" cannot be looked at.
    const QString again = "again|\u21c43.2 GiB|T2||";
    const QString big = "big.bin|3.2 GiB|T2||3,435,973,837";
    const QString folder = "folder|elsewhere|||";
    const QString locked = "locked|LOCKED|T0||";
    const QString inner = "inner|||metadata unreadable: Permission denied|";
    const QString small = "small.txt|146 KiB|T1||150,000";
    QTest::newRow("a file's size and date, a folder's total and newest, a reason for no size")
        << QStringList{} << QStringList{again, big, folder, big, locked, inner, small} << 1200 << 0;
    QTest::newRow("by size, largest first, what has none last")
        << QStringList{"size"} << QStringList{again, big, small, locked, inner, folder, big} << 1200 << 0;
    QTest::newRow("by size, smallest first, what has none last")
        << QStringList{"size", "size"} << QStringList{locked, inner, small, again, big, folder, big} << 1200 << 0;
    QTest::newRow("by date, newest first")
        << QStringList{"date"} << QStringList{again, big, small, locked, inner, folder, big} << 1200 << 0;
    QTest::newRow("by date, oldest first")
        << QStringList{"date", "date"} << QStringList{locked, inner, small, again, big, folder, big} << 1200 << 0;
    QTest::newRow("in a window 360 px wide")
        << QStringList{} << QStringList{again, big, folder, big, locked, inner, small} << 360 << 0;
    QTest::newRow("at 200 % zoom") << QStringList{} << QStringList{again, big, folder, big, locked, inner, small} << 640 << 0;
    QTest::newRow("in a window 500 px wide, 40 levels deep")
        << QStringList{} << QStringList{again, big, folder, big, locked, inner, small} << 500 << 40;
    QTest::newRow("at 200 % zoom in a 500 px window, 40 levels deep")
        << QStringList{} << QStringList{again, big, folder, big, locked, inner, small} << 250 << 40;
}

void tst_BrowsePage::showsSizesAndDates()
{
    REQUIRE_BROWSER();
    QFETCH(QStringList, heads);
    QFETCH(QStringList, rows);
    QFETCH(int, width);
    QFETCH(int, levels);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QList<QByteArray> entries = {"d:tree", "d:tree/folder", "s:tree/folder/big.bin=3435973837", "l:tree/again=folder",
                                 "d:tree/locked", "tree/locked/inner", "m:tree/locked=644", "w:tree/small.txt=150000"};
    QByteArray chain = "tree";
    for (int level = 1; level <= levels; ++level)
        entries << "d:" + (chain += "/Chain_of_folders_" + QByteArray::number(level));
    if (levels > 0)
        entries << chain + "/Chain_ends_in_a_file";
    QVERIFY(makeTree(scratch.path(), entries));
    QVERIFY(::chmod(scratch.path().constData(), 0777) == 0); // where nobody writes the page
    const QByteArray root = scratch.path() + "/tree";
    const qint64 times[] = {1551675960, 1600000000, 1700000000};
    const std::pair<const char *, int> timed[] = {{"/folder", 0}, {"/folder/big.bin", 2}, {"/locked", 0}, {"/small.txt", 1}};
    for (const auto &[path, which] : timed) {
        const struct timespec both[2] = {{times[which], 0}, {times[which], 0}};
        QVERIFY(::utimensat(AT_FDCWD, (root + path).constData(), both, 0) == 0);
    }
    const QByteArray page = scratch.path() + "/map.html";
    QCOMPARE(writeSizedPage(root, page), 0);
    const QByteArray written = fileContents(page);
    QVERIFY(std::all_of(written.begin(), written.end(), [](char c) { return c > 0 && uchar(c) < 0x80; }));

    const auto browser = openPage(page, true, width);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));
    QCOMPARE(browser->evaluate("[...document.querySelectorAll('#columns button')].filter(head => head.offsetWidth > 0)"
                               ".map(head => head.textContent).join(' ')")
                 .toString(),
             "Name Folders Files Size Date");
    // The sizes are read after the first rows are drawn; then their heads sort.
    QVERIFY(browser->waitUntil("performance.getEntriesByName('sizes-shown').length > 0"));
    QVERIFY(browser->evaluate("performance.getEntriesByName('sizes-shown')[0].startTime"
                              " >= performance.getEntriesByName('tree-drawn')[0].startTime")
                .toBool());
    QCOMPARE(browser->evaluate("document.querySelectorAll('#columns button:disabled').length").toInt(), 0);
    for (const QString &head : heads)
        click(*browser, "#columns [data-order=" + head + "]");
    browser->call("Runtime.evaluate", {{"expression", "document.getElementById('tree').focus()"}});
    browser->pressKey("Home");
    browser->pressKey("*");

    // A folder's own size is the file system's: small, below 10 KiB.
    struct stat lockedStatus;
    QVERIFY(::stat((root + "/locked").constData(), &lockedStatus) == 0 && lockedStatus.st_size < 10240);
    const QString lockedSize = "\u2265 " + kibText(lockedStatus.st_size);
    QStringList expected;
    for (QString row : rows) {
        for (int which = 0; which < 3; ++which)
            row.replace(QString("T%1").arg(which),
                        QDateTime::fromSecsSinceEpoch(times[which]).toString("yyyy-MM-dd HH:mm"));
        expected << row.replace("LOCKED", lockedSize);
    }
    const QStringList shown = stringsOf(browser->evaluate(R"js(
        [...document.querySelectorAll('#tree .row:not([hidden])')]
            .sort((a, b) => a.getBoundingClientRect().top - b.getBoundingClientRect().top).slice(1)
            .map(row => [row.querySelector('.name').textContent, row.querySelector('.size').textContent,
                         row.querySelector('.date').textContent, row.querySelector('.reason').textContent,
                         row.classList.contains('file') ? row.querySelector('.size').title.split(' bytes')[0] : ''].join('|'))
    )js"));
    // The chain's sizes and dates are the file system's; its rows come first.
    QCOMPARE(shown.size(), expected.size() + (levels > 0 ? levels + 1 : 0));
    QCOMPARE(shown.mid(shown.size() - expected.size()), expected);
    // However narrow the window, every name shows whole or its first 12
    // characters at least, and each head is over its column.
    const QString misfits = browser->evaluate(R"js(
        (() => { const rows = [...document.querySelectorAll('#tree .row:not([hidden])')];
                 const cells = [...rows[0].querySelectorAll('.count, .size, .date')];
                 const heads = [...document.querySelectorAll('#columns button')].slice(1);
                 const twelve = name => { const range = document.createRange();
                                          range.setStart(name.firstChild, 0);
                                          range.setEnd(name.firstChild, Math.min(12, name.textContent.length));
                                          return range.getBoundingClientRect().width; };
                 const cut = rows.map(row => row.querySelector('.name'))
                                 .filter(name => name.scrollWidth > name.clientWidth && name.clientWidth < twelve(name) - 0.5)
                                 .map(name => 'name cut: ' + name.textContent);
                 const apart = heads.filter((head, k) => Math.abs(head.getBoundingClientRect().right
                                                                  - cells[k].getBoundingClientRect().right) >= 1)
                                    .map(head => 'head apart: ' + head.textContent);
                 return cut.concat(apart).join('; '); })())js").toString();
    QVERIFY2(misfits.isEmpty(), qPrintable(misfits));
    // The path bar says the same of the focused entry, in exact bytes.
    browser->pressKey("End");
    const QStringList last = expected.last().split('|');
    QVERIFY(!last[4].isEmpty()); // a file
    QCOMPARE(browser->evaluate("document.getElementById('path-bar').textContent").toString().section(" in ", 0, 0),
             last[4] + " bytes, modified " + last[2]);
    // And so does the row to a screen reader, each number named.
    QCOMPARE(accessibleName(*browser, "#tree .row.active"), last[0] + ", size " + last[1] + ", modified " + last[2]);
    QCOMPARE(problems(*browser, QUrl::fromLocalFile(QFile::decodeName(page)).toString(QUrl::FullyEncoded)), QStringList());
}

void tst_BrowsePage::showsWhatFoldersHold_data()
{
    QTest::addColumn<QByteArray>("folder"); // below the root, or empty for the root
    // "SIZE|MARK|TITLE" of its row, TOTAL standing for its total, OWN for
    // its own size and SHARE for the percentage of the root's total it holds.
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("shared"); // what the path bar says of it, if anything

    // "a" and "c" hold links to the same file.
    const QString shared = "4.9 KiB of it is shared with other folders; deleting it frees OWN";
    QTest::newRow("a folder holding a file linked from another")
        << QByteArray("a") << "TOTAL|\u21c4|SHARE% of its folder; " + shared << shared;
    QTest::newRow("a folder's share of its folder") << QByteArray("b") << "TOTAL||SHARE% of its folder" << QString();
    QTest::newRow("the root, sharing nothing") << QByteArray() << "TOTAL||" << QString();
}

void tst_BrowsePage::showsWhatFoldersHold()
{
    REQUIRE_BROWSER();
    QFETCH(QByteArray, folder);
    QFETCH(QString, row);
    QFETCH(QString, shared);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:t", "d:t/a", "w:t/a/one=5000", "h:t/a/one-again=t/a/one", "d:t/b",
                                      "w:t/b/own=1000", "d:t/c", "h:t/c/one-elsewhere=t/a/one"}));
    const QByteArray root = scratch.path() + "/t";
    const auto ownSize = [&root](const QByteArray &name) {
        struct stat status;
        return ::stat((root + '/' + name).constData(), &status) == 0 ? qint64(status.st_size) : -1;
    };
    const qint64 ownSizes = ownSize({}) + ownSize("a") + ownSize("b") + ownSize("c");
    const qint64 total = folder.isEmpty() ? 6000 + ownSizes : folder == "b" ? 1000 + ownSize("b") : 5000 + ownSize(folder);
    const QByteArray page = scratch.path() + "/map.html";
    QCOMPARE(writePage(root, page, {"-f", "--sizes"}), 0);
    const auto browser = openPage(page);
    QVERIFY2(browser->isReady(), qPrintable(browser->failure()));
    QVERIFY(browser->waitUntil("performance.getEntriesByName('sizes-shown').length > 0"));
    browser->call("Runtime.evaluate", {{"expression", "document.getElementById('tree').focus()"}});
    browser->pressKey("Home");
    if (!folder.isEmpty())
        browser->pressKey(QString::fromUtf8(folder));
    QCOMPARE(activeName(*browser), QFile::decodeName(folder.isEmpty() ? root : folder));

    const QString own = kibText(ownSize(folder));
    row.replace("TOTAL", kibText(total)).replace("OWN", own);
    row.replace("SHARE", QString::number(qRound(100.0 * total / (6000 + ownSizes))));
    QCOMPARE(browser->evaluate("(row => [row.querySelector('.size').lastChild.textContent,"
                               " row.querySelector('.shared-mark').textContent, row.title].join('|'))"
                               "(document.querySelector('#tree .row.active'))")
                 .toString(),
             row);
    // A screen reader hears what the title says; the path bar says what is shared.
    shared.replace("OWN", own);
    const QString name = accessibleName(*browser, "#tree .row.active");
    for (const QString &said : {row.section('|', 2).section("; ", 0, 0), shared})
        QVERIFY2(name.contains(said), qPrintable(name));
    const QString pathBar = browser->evaluate("document.getElementById('path-bar').textContent").toString();
    QVERIFY2(shared.isEmpty() ? !pathBar.contains("shared") : pathBar.contains(shared), qPrintable(pathBar));
}

QTEST_GUILESS_MAIN(tst_BrowsePage)
#include "tst_browsepage.moc"
