#include "decimaltext.h"
#include "jsonmapper.h"
#include "mapjob.h"
#include "narrowtext.h"
#include "reportdocument.h"
#include "scratchdirectory.h"
#include "testtree.h"
#include "treecounter.h"
#include "treemapper.h"

#include <QJsonDocument>
#include <QtTest>

#include <climits>
#include <sstream>

namespace {

const QByteArray header = "<HTML><h1>Directory Information</h1><b>Number of Folders: </b>";

QByteArray report(const QByteArray &root, bool directoriesOnly, QByteArray *errors = nullptr)
{
    std::ostringstream errorStream;
    MapJob job(root.toStdString(), errorStream);
    QByteArray written;
    job.count();
    job.map(directoriesOnly, [&written](std::string_view piece) {
        written.append(piece.data(), qsizetype(piece.size()));
        return true;
    });
    if (errors)
        *errors = QByteArray::fromStdString(errorStream.str());
    return written;
}

// Drives a JSON mapper through `events` below a root named "r": "f:NAME" a
// file, "b:NAME" a directory begun, "e" its end, "u:ERRNO" unreadable,
// "n:REASON" not entered (the reason's number). Gives the whole document.
QByteArray jsonDocument(const QList<QByteArray> &events, bool listFiles)
{
    std::string out;
    JsonMapper mapper(listFiles, out);
    mapper.begin("r", 3, 4);
    for (const QByteArray &event : events) {
        const std::string_view argument(event.constData() + std::min<qsizetype>(2, event.size()));
        switch (event[0]) {
        case 'f':
            mapper.file(argument);
            break;
        case 'b':
            mapper.directoryBegin(argument);
            break;
        case 'e':
            mapper.directoryEnd();
            break;
        case 'u':
            mapper.directoryUnreadable(QByteArray(argument.data(), qsizetype(argument.size())).toInt());
            break;
        case 'n':
            mapper.directoryNotEntered(NotEnteredReason(QByteArray(argument.data(), qsizetype(argument.size())).toInt()));
            break;
        }
    }
    mapper.end();
    return QByteArray::fromStdString(out);
}

} // namespace

class tst_Report : public QObject
{
    Q_OBJECT

private slots:
    void workedExamples_data();
    void workedExamples();
    void sameAsTheTwoWalks_data();
    void sameAsTheTwoWalks();
    void emptyRoot_data();
    void emptyRoot();
    void unreadableRootReportsZeros();
    void countsBeyondTheLimitEndTheRun_data();
    void countsBeyondTheLimitEndTheRun();
    void decimalText_data();
    void decimalText();
    void narrowText_data();
    void narrowText();
    void jsonTree_data();
    void jsonTree();
    void jsonName_data();
    void jsonName();
};

void tst_Report::workedExamples_data()
{
    QTest::addColumn<bool>("directoriesOnly");
    QTest::addColumn<QByteArray>("heading");
    QTest::addColumn<QByteArray>("subItem");
    QTest::addColumn<bool>("filesListed");

    QTest::newRow("files and directories") << false << QByteArray("<h1>Directory and File Map</h1>")
                                           << QByteArray("<b><li>sub</li></b><ul><li>b.txt</li></ul>") << true;
    QTest::newRow("directories only") << true << QByteArray("<h1>Directory Map</h1>")
                                      << QByteArray("<b><li>sub</li></b><ul></ul>") << false;
}

void tst_Report::workedExamples()
{
    QFETCH(bool, directoriesOnly);
    QFETCH(QByteArray, heading);
    QFETCH(QByteArray, subItem);
    QFETCH(bool, filesListed);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), {"a.txt", "d:sub", "sub/b.txt", "c.txt"}));

    // The items follow the file system's order, whatever it is.
    QByteArray list = "<ul>";
    for (const QByteArray &name : readdirOrder(root.path()))
        list += name == "sub" ? subItem : filesListed ? "<li>" + name + "</li>" : QByteArray();
    list += "</ul>";

    QCOMPARE(report(root.path(), directoriesOnly),
             header + "1<br><b>Number of Files: </b>3<br>" + heading + list + "</HTML>");
}

void tst_Report::sameAsTheTwoWalks_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<bool>("directoriesOnly");

    const QList<QByteArray> mixed = {"d:a", "d:a/b", "a/b/1", "a/2", "d:a/.c", "l:a/up=..", "l:a/to-b=b", "l:dangling=x",
                                     "p:fifo", "d:αβγ", "αβγ/δ", "<x>&y", "d:\xff", "\xff/\xfe", "l:self=."};
    QTest::newRow("mixed, directories only") << mixed << true;
    QTest::newRow("mixed, files too") << mixed << false;
}

void tst_Report::sameAsTheTwoWalks()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(bool, directoriesOnly);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), entries));

    // The report lists the tree once; counting and mapping it in two walks
    // must give the same bytes.
    int files = 0;
    int folders = 0;
    countFilesAndFolders(root.path().toStdString(), files, folders);
    std::string twoWalks = reportOpening();
    appendCounts(twoWalks, folders, files);
    mapDirectory(root.path().toStdString(), appendMapHeading(twoWalks, directoriesOnly), twoWalks);
    appendReportClosing(twoWalks);

    QCOMPARE(report(root.path(), directoriesOnly), QByteArray::fromStdString(twoWalks));
}

void tst_Report::emptyRoot_data()
{
    QTest::addColumn<bool>("directoriesOnly");
    QTest::addColumn<QByteArray>("heading");
    QTest::newRow("directories only") << true << QByteArray("<h1>Directory Map</h1>");
    QTest::newRow("files and directories") << false << QByteArray("<h1>Directory and File Map</h1>");
}

void tst_Report::emptyRoot()
{
    QFETCH(bool, directoriesOnly);
    QFETCH(QByteArray, heading);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QByteArray errors;
    QCOMPARE(report(root.path(), directoriesOnly, &errors),
             header + "0<br><b>Number of Files: </b>0<br>" + heading + "<ul></ul></HTML>");
    QCOMPARE(errors, QByteArray());
}

void tst_Report::unreadableRootReportsZeros()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QByteArray errors;
    QCOMPARE(report(scratch.path() + "/missing", true, &errors),
             header + "0<br><b>Number of Files: </b>0<br><h1>Directory Map</h1><ul></ul></HTML>");
    QCOMPARE(errors, QByteArray("ERROR: Invalid File Path In Count Num Files and Folders Function\n"));
}

void tst_Report::countsBeyondTheLimitEndTheRun_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<bool>("counted");

    QTest::newRow("files at the limit") << QList<QByteArray>{"a", "b", "c"} << true;
    QTest::newRow("files beyond it") << QList<QByteArray>{"a", "b", "c", "d"} << false;
    QTest::newRow("folders beyond it") << QList<QByteArray>{"d:a", "d:b", "d:c", "d:a/d"} << false;
}

void tst_Report::countsBeyondTheLimitEndTheRun()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(bool, counted);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), entries));
    std::ostringstream errors;
    MapJob job(root.path().toStdString(), errors, 3);
    QCOMPARE(job.count(), counted);
    QCOMPARE(job.failure(), counted ? MapFailure::None : MapFailure::TooManyEntries);
}

void tst_Report::decimalText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("zero") << 0 << QByteArray("0");
    QTest::newRow("negative") << -7 << QByteArray("-7");
    QTest::newRow("no grouping") << 1234567 << QByteArray("1234567");
    QTest::newRow("largest") << INT_MAX << QByteArray("2147483647");
    QTest::newRow("smallest") << INT_MIN << QByteArray("-2147483648");
}

void tst_Report::decimalText()
{
    QFETCH(int, value);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(toDecimalText(value)), text);
}

void tst_Report::narrowText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ASCII path with blanks") << QString("/tmp/My Reports/map.html") << QByteArray("/tmp/My Reports/map.html");
    QTest::newRow("e acute") << QString("/tmp/é") << QByteArray("/tmp/\xc3\xa9");
    QTest::newRow("A umlaut") << QString("Ä") << QByteArray("\xc3\x84");
    QTest::newRow("euro sign") << QString("€") << QByteArray("\xe2\x82\xac");
    QTest::newRow("Greek path, whole") << QString("/srv/αρχεία/έγγραφα") << QByteArray("/srv/αρχεία/έγγραφα");
    QTest::newRow("outside the BMP") << QString("x😀y") << QByteArray("x\xf0\x9f\x98\x80y");
}

void tst_Report::narrowText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(QByteArray::fromStdString(toNarrowText(text)), bytes);
}

void tst_Report::jsonTree_data()
{
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<bool>("listFiles");
    QTest::addColumn<QByteArray>("contents"); // the root's, after its name and type

    const QList<QByteArray> small = {"f:a", "b:sub", "f:b", "e", "f:c"};
    QTest::newRow("empty root") << QList<QByteArray>{} << true << QByteArray(R"(,"contents":[])");
    QTest::newRow("files and a directory in order")
        << small << true
        << QByteArray(R"(,"contents":[{"name":"a","type":"file"},{"name":"sub","type":"directory","contents":)"
                      R"([{"name":"b","type":"file"}]},{"name":"c","type":"file"}])");
    QTest::newRow("directories only") << small << false
                                      << QByteArray(R"(,"contents":[{"name":"sub","type":"directory","contents":[]}])");
    QTest::newRow("nesting closes every level")
        << QList<QByteArray>{"b:a", "b:b", "b:c", "e", "e", "e", "f:z"} << true
        << QByteArray(R"(,"contents":[{"name":"a","type":"directory","contents":[{"name":"b","type":"directory",)"
                      R"("contents":[{"name":"c","type":"directory","contents":[]}]}]},{"name":"z","type":"file"}])");
    QTest::newRow("unreadable directory is not entered")
        << QList<QByteArray>{"b:locked", "u:13", "e", "b:next", "e"} << true
        << QByteArray(R"(,"contents":[{"name":"locked","type":"directory","reason":"unreadable: Permission denied"},)"
                      R"({"name":"next","type":"directory","contents":[]}])");
    QTest::newRow("listing failed part way")
        << QList<QByteArray>{"b:sub", "f:x", "u:5", "e", "f:y"} << true
        << QByteArray(R"(,"contents":[{"name":"sub","type":"directory","contents":[{"name":"x","type":"file"}],)"
                      R"("reason":"unreadable: Input/output error"},{"name":"y","type":"file"}])");
    QTest::newRow("failed part way, its files not listed")
        << QList<QByteArray>{"b:sub", "f:x", "u:5", "e"} << false
        << QByteArray(R"(,"contents":[{"name":"sub","type":"directory","contents":[],)"
                      R"("reason":"unreadable: Input/output error"}])");
    QTest::newRow("failed part way after a subdirectory")
        << QList<QByteArray>{"b:sub", "b:in", "e", "u:5", "e"} << false
        << QByteArray(R"(,"contents":[{"name":"sub","type":"directory","contents":[{"name":"in","type":"directory",)"
                      R"("contents":[]}],"reason":"unreadable: Input/output error"}])");
    QTest::newRow("unreadable root") << QList<QByteArray>{"u:13"} << true
                                     << QByteArray(R"(,"reason":"unreadable: Permission denied")");
    QTest::newRow("root failed part way") << QList<QByteArray>{"f:a", "u:5"} << true
                                          << QByteArray(R"(,"contents":[{"name":"a","type":"file"}],)"
                                                        R"("reason":"unreadable: Input/output error")");
    QTest::newRow("the first reason stands") << QList<QByteArray>{"b:x", "u:13", "u:5", "e"} << true
                                             << QByteArray(R"(,"contents":[{"name":"x","type":"directory",)"
                                                           R"("reason":"unreadable: Permission denied"}])");
    const std::pair<NotEnteredReason, const char *> reasons[] = {
        {NotEnteredReason::Loop, "loop"},
        {NotEnteredReason::PseudoFileSystem, "pseudo file system"},
        {NotEnteredReason::OtherFileSystem, "other file system"},
    };
    for (const auto &[reason, text] : reasons)
        QTest::newRow(text) << QList<QByteArray>{"b:x", "n:" + QByteArray::number(int(reason)), "e"} << true
                            << R"(,"contents":[{"name":"x","type":"directory","reason":")" + QByteArray(text) + "\"}]";
}

void tst_Report::jsonTree()
{
    QFETCH(QList<QByteArray>, events);
    QFETCH(bool, listFiles);
    QFETCH(QByteArray, contents);

    const QByteArray document = jsonDocument(events, listFiles);
    QCOMPARE(document, R"({"format_version":1,"folders":3,"files":4,"files_listed":)" + QByteArray(listFiles ? "true" : "false")
                           + R"(,"tree":{"name":"r","type":"directory")" + contents + "}}\n");
    QJsonParseError error;
    QJsonDocument::fromJson(document, &error);
    QCOMPARE(error.errorString(), QJsonParseError().errorString());
}

void tst_Report::jsonName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("written"); // the "name" member and, for names not UTF-8, "name_bytes"

    const QByteArray bad = "\xef\xbf\xbd"; // U+FFFD
    QTest::newRow("plain") << QByteArray("report.txt") << QByteArray(R"("name":"report.txt")");
    QTest::newRow("quote and backslash") << QByteArray(R"(say "a\b")") << QByteArray(R"("name":"say \"a\\b\"")");
    QTest::newRow("short escapes") << QByteArray("\b\f\n\r\t") << QByteArray(R"("name":"\b\f\n\r\t")");
    QTest::newRow("other C0 controls") << QByteArray("\x01\x1f") << QByteArray(R"("name":"\u0001\u001f")");
    QTest::newRow("delete") << QByteArray("a\x7f") << QByteArray(R"("name":"a\u007f")");
    QTest::newRow("C1 controls") << QByteArray("\xc2\x80\xc2\x9f") << QByteArray(R"("name":"\u0080\u009f")");
    QTest::newRow("no-break space kept") << QByteArray("\xc2\xa0") << QByteArray("\"name\":\"\xc2\xa0\"");
    QTest::newRow("line and paragraph separators") << QByteArray("\xe2\x80\xa8\xe2\x80\xa9")
                                                   << QByteArray(R"("name":"\u2028\u2029")");
    QTest::newRow("markup kept") << QByteArray("<b>&amp;/'") << QByteArray(R"("name":"<b>&amp;/'")");
    QTest::newRow("e acute kept") << QByteArray("caf\xc3\xa9") << QByteArray("\"name\":\"caf\xc3\xa9\"");
    QTest::newRow("Greek kept") << QByteArray("αβγ") << QByteArray("\"name\":\"αβγ\"");
    QTest::newRow("astral kept") << QByteArray("\xf0\x9f\x98\x80\xf0\x9d\x84\x9e")
                                 << QByteArray("\"name\":\"\xf0\x9f\x98\x80\xf0\x9d\x84\x9e\"");
    QTest::newRow("largest code point kept") << QByteArray("\xf4\x8f\xbf\xbf") << QByteArray("\"name\":\"\xf4\x8f\xbf\xbf\"");
    QTest::newRow("lone continuation byte") << QByteArray("a\x80z")
                                            << "\"name\":\"a" + bad + "z\",\"name_bytes\":[97,128,122]";
    QTest::newRow("lone lead byte at end") << QByteArray("a\xc3") << "\"name\":\"a" + bad + "\",\"name_bytes\":[97,195]";
    QTest::newRow("lead byte before ASCII") << QByteArray("\xc3(") << "\"name\":\"" + bad + "(\",\"name_bytes\":[195,40]";
    QTest::newRow("Latin-1 e acute") << QByteArray("caf\xe9") << "\"name\":\"caf" + bad + "\",\"name_bytes\":[99,97,102,233]";
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << "\"name\":\"" + bad + bad + "\",\"name_bytes\":[192,175]";
    QTest::newRow("overlong three bytes") << QByteArray("\xe0\x80\xaf")
                                          << "\"name\":\"" + bad + bad + bad + "\",\"name_bytes\":[224,128,175]";
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << "\"name\":\"" + bad + bad + bad + "\",\"name_bytes\":[237,160,128]";
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80")
                                     << "\"name\":\"" + bad + bad + bad + bad + "\",\"name_bytes\":[244,144,128,128]";
    QTest::newRow("truncated sequence then text") << QByteArray("\xe2\x82x")
                                                  << "\"name\":\"" + bad + bad + "x\",\"name_bytes\":[226,130,120]";
    QTest::newRow("invalid byte, quote, Greek") << QByteArray("\xff\"α")
                                                << "\"name\":\"" + bad + "\\\"α\",\"name_bytes\":[255,34,206,177]";
}

void tst_Report::jsonName()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, written);

    const QByteArray document = jsonDocument({"f:" + name}, true);
    QCOMPARE(document.mid(document.indexOf("\"contents\":[") + 12).chopped(4), "{" + written + ",\"type\":\"file\"}");
    QJsonParseError error;
    QJsonDocument::fromJson(document, &error);
    QCOMPARE(error.errorString(), QJsonParseError().errorString());
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_report.moc"
