#include "asciijson.h"
#include "browsemapper.h"
#include "decimaltext.h"
#include "directorytally.h"
#include "exclusionrules.h"
#include "jsonmapper.h"
#include "mapfailure.h"
#include "mapjob.h"
#include "narrowtext.h"
#include "reportdocument.h"
#include "scratchdirectory.h"
#include "testtree.h"
#include "treecounter.h"
#include "treemapper.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

#include <climits>
#include <sstream>

namespace {

const QByteArray header = "<HTML><h1>Directory Information</h1><b>Number of Folders: </b>";

ListedEntries listedWhen(bool directoriesOnly)
{
    return directoriesOnly ? ListedEntries::DirectoriesOnly : ListedEntries::FilesAndDirectories;
}

QByteArray report(const QByteArray &root, bool directoriesOnly, QByteArray *errors = nullptr)
{
    std::ostringstream errorStream;
    MapJob job(root.toStdString(), errorStream);
    QByteArray written;
    job.count();
    job.map(ReportFormat::Html, listedWhen(directoriesOnly), [&written](std::string_view piece) {
        written.append(piece.data(), qsizetype(piece.size()));
        return true;
    });
    if (errors)
        *errors = QByteArray::fromStdString(errorStream.str());
    return written;
}

// Metadata of "SIZE,DISK,MTIME" (MTIME empty where there is none), or of
// "!ERRNO" where it could not be read; each file a file of its own, with one
// name.
EntryMetadata metadataOf(const QByteArray &text)
{
    static ino_t inode = 0;
    EntryMetadata metadata;
    if (text.startsWith('!')) {
        metadata.error = text.mid(1).toInt();
        return metadata;
    }
    const QByteArrayList fields = text.split(',');
    metadata.links = 1;
    metadata.identity = {1, ++inode};
    metadata.size = fields[0].toULongLong();
    metadata.diskBytes = fields[1].toULongLong();
    metadata.hasModifiedTime = !fields[2].isEmpty();
    metadata.modifiedSeconds = fields[2].toLongLong();
    return metadata;
}

// Drives a visitor through `events` below the root: "f:NAME" a file,
// "b:NAME" a directory begun, "e" its end, "u:ERRNO" unreadable, "n:REASON"
// not entered (the reason's number), "R:METADATA" the root's metadata and
// "m:METADATA" that of the next entry (metadataOf()).
void replayEvents(const QList<QByteArray> &events, TreeVisitor &mapper)
{
    for (const QByteArray &event : events) {
        const std::string_view argument(event.constData() + std::min<qsizetype>(2, event.size()));
        switch (event[0]) {
        case 'R':
            mapper.rootMetadata(metadataOf(event.mid(2)));
            break;
        case 'm':
            mapper.entryMetadata(metadataOf(event.mid(2)));
            break;
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
}

// The JSON document of `events` below a root named "r".
QByteArray jsonDocument(const QList<QByteArray> &events, bool listFiles)
{
    DirectoryTally tally;
    replayEvents(events, tally);
    tally.finish();
    std::string out;
    JsonMapper mapper({"r", 3, 4, listedWhen(!listFiles), nullptr, 0, &tally}, out);
    mapper.begin();
    replayEvents(events, mapper);
    mapper.end();
    return QByteArray::fromStdString(out);
}

// The data of the browsable page of `events` below a root named "r", made
// on 2001-09-09 at 01:46:40 UTC.
// The text of the page's element `id`.
QByteArray elementText(const QByteArray &page, const QByteArray &id)
{
    const QByteArray opening = "<script type=\"application/json\" id=\"" + id + "\">";
    const qsizetype start = page.indexOf(opening) + opening.size();
    return page.mid(start, page.indexOf("</script>", start) - start);
}

// The page's data; `sizes`, where given, gets the sizes' data.
QByteArray browseData(const QList<QByteArray> &events, bool listFiles, const WalkRules *rules = nullptr,
                      QByteArray *sizes = nullptr)
{
    DirectoryTally tally;
    replayEvents(events, tally);
    tally.finish();
    std::string page;
    BrowseMapper mapper({"r", 0, 0, listedWhen(!listFiles), rules, 1000000000, &tally}, page);
    mapper.begin();
    replayEvents(events, mapper);
    mapper.end();
    const QByteArray whole = QByteArray::fromStdString(page);
    if (sizes)
        *sizes = elementText(whole, "size-data");
    return elementText(whole, "map-data");
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
    void systemErrorsByTheirCause_data();
    void systemErrorsByTheirCause();
    void decimalText_data();
    void decimalText();
    void narrowText_data();
    void narrowText();
    void jsonTree_data();
    void jsonTree();
    void jsonName_data();
    void jsonName();
    void directoryTally_data();
    void directoryTally();
    void browseTree_data();
    void browseTree();
    void browseRules();
    void browseCountsGatheredEitherWay_data();
    void browseCountsGatheredEitherWay();
    void asciiJsonName_data();
    void asciiJsonName();
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
    appendMapHeading(twoWalks, listedWhen(directoriesOnly));
    mapDirectory(root.path().toStdString(), directoriesOnly ? 0 : 1, twoWalks);
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

void tst_Report::systemErrorsByTheirCause_data()
{
    QTest::addColumn<int>("error");           // of the std::system_error a walk throws
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<QByteArray>("command");  // velmora-map's message
    QTest::addColumn<QByteArray>("window");   // the last line of the window's box

    const QByteArray noDescriptor = "No file descriptor was free to read the tree";
    QTest::newRow("the process's descriptors") << EMFILE << QByteArray("/srv")
                                               << QByteArray("cannot map '/srv': Too many open files") << noDescriptor;
    QTest::newRow("the system's descriptors") << ENFILE << QByteArray("/srv")
                                              << QByteArray("cannot map '/srv': Too many open files in system") << noDescriptor;
    QTest::newRow("a thread or a lock refused") << EAGAIN << QByteArray("/srv")
                                                << QByteArray("cannot map '/srv': Resource temporarily unavailable")
                                                << QByteArray("The tree could not be read: Resource temporarily unavailable");
    QTest::newRow("a root named with the stand-ins") << EDEADLK << QByteArray("/a@b%c")
                                                     << QByteArray("cannot map '/a@b%c': Resource deadlock avoided")
                                                     << QByteArray("The tree could not be read: Resource deadlock avoided");
}

void tst_Report::systemErrorsByTheirCause()
{
    QFETCH(int, error);
    QFETCH(QByteArray, root);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, window);

    const std::error_code code(error, std::generic_category());
    const MapFailure failure = failureFor(code);
    QCOMPARE(QByteArray::fromStdString(commandLineMessage(failure, root.toStdString(), code.message())), command);
    QCOMPARE(QByteArray::fromStdString(windowMessage(failure, code.message())), window);
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
    QTest::newRow("empty root") << QList<QByteArray>{} << true << QByteArray(R"(,"folders":0,"files":0,"contents":[])");
    QTest::newRow("files and a directory in order")
        << small << true
        << QByteArray(R"(,"folders":1,"files":3,"contents":[{"name":"a","type":"file"},{"name":"sub","type":"directory","folders":0,"files":1,"contents":)"
                      R"([{"name":"b","type":"file"}]},{"name":"c","type":"file"}])");
    QTest::newRow("directories only") << small << false
                                      << QByteArray(R"(,"folders":1,"files":3,"contents":[{"name":"sub","type":"directory","folders":0,"files":1,"contents":[]}])");
    QTest::newRow("nesting closes every level")
        << QList<QByteArray>{"b:a", "b:b", "b:c", "e", "e", "e", "f:z"} << true
        << QByteArray(R"(,"folders":3,"files":1,"contents":[{"name":"a","type":"directory","folders":2,"files":0,"contents":[{"name":"b","type":"directory","folders":1,"files":0,)"
                      R"("contents":[{"name":"c","type":"directory","folders":0,"files":0,"contents":[]}]}]},{"name":"z","type":"file"}])");
    QTest::newRow("unreadable directory is not entered")
        << QList<QByteArray>{"b:locked", "u:13", "e", "b:next", "e"} << true
        << QByteArray(R"(,"folders":2,"files":0,"contents":[{"name":"locked","type":"directory","folders":0,"files":0,"reason":"unreadable: Permission denied"},)"
                      R"({"name":"next","type":"directory","folders":0,"files":0,"contents":[]}])");
    QTest::newRow("listing failed part way")
        << QList<QByteArray>{"b:sub", "f:x", "u:5", "e", "f:y"} << true
        << QByteArray(R"(,"folders":1,"files":2,"contents":[{"name":"sub","type":"directory","folders":0,"files":1,"contents":[{"name":"x","type":"file"}],)"
                      R"("reason":"unreadable: Input/output error"},{"name":"y","type":"file"}])");
    QTest::newRow("failed part way, its files not listed")
        << QList<QByteArray>{"b:sub", "f:x", "u:5", "e"} << false
        << QByteArray(R"(,"folders":1,"files":1,"contents":[{"name":"sub","type":"directory","folders":0,"files":1,"contents":[],)"
                      R"("reason":"unreadable: Input/output error"}])");
    QTest::newRow("failed part way after a subdirectory")
        << QList<QByteArray>{"b:sub", "b:in", "e", "u:5", "e"} << false
        << QByteArray(R"(,"folders":2,"files":0,"contents":[{"name":"sub","type":"directory","folders":1,"files":0,"contents":[{"name":"in","type":"directory","folders":0,"files":0,)"
                      R"("contents":[]}],"reason":"unreadable: Input/output error"}])");
    QTest::newRow("unreadable root") << QList<QByteArray>{"u:13"} << true
                                     << QByteArray(R"(,"folders":0,"files":0,"reason":"unreadable: Permission denied")");
    QTest::newRow("root failed part way") << QList<QByteArray>{"f:a", "u:5"} << true
                                          << QByteArray(R"(,"folders":0,"files":1,"contents":[{"name":"a","type":"file"}],)"
                                                        R"("reason":"unreadable: Input/output error")");
    QTest::newRow("the first reason stands") << QList<QByteArray>{"b:x", "u:13", "u:5", "e"} << true
                                             << QByteArray(R"(,"folders":1,"files":0,"contents":[{"name":"x","type":"directory","folders":0,"files":0,)"
                                                           R"("reason":"unreadable: Permission denied"}])");
    const std::pair<NotEnteredReason, const char *> reasons[] = {
        {NotEnteredReason::Loop, "loop"},
        {NotEnteredReason::PseudoFileSystem, "pseudo file system"},
        {NotEnteredReason::OtherFileSystem, "other file system"},
    };
    for (const auto &[reason, text] : reasons)
        QTest::newRow(text) << QList<QByteArray>{"b:x", "n:" + QByteArray::number(int(reason)), "e"} << true
                            << R"(,"folders":1,"files":0,"contents":[{"name":"x","type":"directory","folders":0,"files":0,"reason":")"
                                   + QByteArray(text) + "\"}]";
    QTest::newRow("sizes of files and a folder")
        << QList<QByteArray>{"R:4096,4096,100", "m:10,4096,200", "f:a", "m:4096,4096,300", "b:sub", "m:5,0,150", "f:b", "e"}
        << true
        << QByteArray(R"(,"size":4096,"disk":4096,"mtime":100,"total_size":8207,"total_disk":12288,"shared_size":0,)"
                      R"("shared_disk":0,"newest_mtime":300,)"
                      R"("folders":1,"files":2,"contents":[{"name":"a","type":"file","size":10,"disk":4096,"mtime":200},)"
                      R"({"name":"sub","type":"directory","size":4096,"disk":4096,"mtime":300,"total_size":4101,)"
                      R"("total_disk":4096,"shared_size":0,"shared_disk":0,"newest_mtime":300,"folders":0,"files":1,)"
                      R"("contents":[{"name":"b","type":"file","size":5,"disk":0,"mtime":150}]}])");
    QTest::newRow("metadata that could not be read is no size")
        << QList<QByteArray>{"R:4096,4096,100", "m:!13", "f:a", "m:7,512,50", "f:b"} << true
        << QByteArray(R"(,"size":4096,"disk":4096,"mtime":100,"total_size":4103,"total_disk":4608,"shared_size":0,)"
                      R"("shared_disk":0,"newest_mtime":100,)"
                      R"("unreadable_entries":1,"folders":0,"files":2,"contents":[{"name":"a","type":"file",)"
                      R"("metadata_reason":"unreadable: Permission denied"},{"name":"b","type":"file","size":7,"disk":512,"mtime":50}])");
}

void tst_Report::jsonTree()
{
    QFETCH(QList<QByteArray>, events);
    QFETCH(bool, listFiles);
    QFETCH(QByteArray, contents);

    const QByteArray document = jsonDocument(events, listFiles);
    const bool sizes = !events.isEmpty() && events.first().startsWith("R:");
    QCOMPARE(document, R"({"format_version":1,"folders":3,"files":4,"files_listed":)" + QByteArray(listFiles ? "true" : "false")
                           + R"(,"sizes":)" + (sizes ? "true" : "false") + R"(,"tree":{"name":"r","type":"directory")" + contents
                           + "}}\n");
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

void tst_Report::directoryTally_data()
{
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<QString>("counts");  // "FOLDERS,FILES" of each directory, the root first, in the order begun
    QTest::addColumn<QString>("reasons"); // "DIRECTORY:eERRNO" or "DIRECTORY:nREASON"

    QTest::newRow("empty root") << QList<QByteArray>{} << "0,0" << "";
    QTest::newRow("nested") << QList<QByteArray>{"f:a", "b:sub", "f:b", "b:in", "f:c", "e", "e", "f:d"} << "2,4 1,2 0,1" << "";
    QTest::newRow("siblings") << QList<QByteArray>{"b:a", "f:x", "e", "b:b", "b:c", "e", "e"} << "3,1 0,1 1,0 0,0" << "";
    QTest::newRow("not entered") << QList<QByteArray>{"b:l", "n:0", "e", "f:x"} << "1,1 0,0" << "1:n0";
    QTest::newRow("unreadable") << QList<QByteArray>{"b:x", "u:13", "e"} << "1,0 0,0" << "1:e13";
    QTest::newRow("read in part, told after its subdirectory's reason")
        << QList<QByteArray>{"b:sub", "f:a", "b:in", "n:1", "e", "u:5", "e"} << "2,1 1,1 0,0" << "1:e5 2:n1";
    QTest::newRow("the first reason stands") << QList<QByteArray>{"b:x", "u:13", "u:5", "e"} << "1,0 0,0" << "1:e13";
    QTest::newRow("root read in part") << QList<QByteArray>{"f:a", "u:5"} << "0,1" << "0:e5";
}

void tst_Report::directoryTally()
{
    QFETCH(QList<QByteArray>, events);
    QFETCH(QString, counts);
    QFETCH(QString, reasons);

    DirectoryTally tally;
    replayEvents(events, tally);
    tally.finish();
    QStringList shown;
    for (std::size_t i = 0; i < tally.directoryCount(); ++i)
        shown << QString("%1,%2").arg(tally.counts(i).folders).arg(tally.counts(i).files);
    QCOMPARE(shown.join(' '), counts);
    QStringList given;
    for (const DirectoryTally::Reason &reason : tally.reasons())
        given << QString("%1:%2%3").arg(reason.directory).arg(reason.notEntered ? 'n' : 'e')
                     .arg(reason.notEntered ? int(reason.why) : reason.error);
    QCOMPARE(given.join(' '), reasons);
}

void tst_Report::browseTree_data()
{
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<bool>("listFiles");
    QTest::addColumn<QByteArray>("tree"); // the data's "tree" array, within its brackets
    // The sizes' data, within its brackets; disk use in blocks, times as
    // seconds before the map was made (1000000000).
    QTest::addColumn<QByteArray>("sizeList");

    const QList<QByteArray> small = {"f:a", "b:sub", "f:b", "e", "f:c"};
    QTest::newRow("empty root") << QList<QByteArray>{} << true << QByteArray(R"({"d":"r","n":[0,0]},0)") << QByteArray();
    QTest::newRow("files and a directory in order")
        << small << true << QByteArray(R"({"d":"r","n":[1,3]},"a",{"d":"sub","n":[0,1]},"b",0,"c",0)") << QByteArray();
    QTest::newRow("directories only, files counted")
        << small << false << QByteArray(R"({"d":"r","n":[1,3]},{"d":"sub","n":[0,1]},0,0)") << QByteArray();
    QTest::newRow("deep") << QList<QByteArray>{"b:a", "b:b", "b:c", "e", "e", "e"} << true
                          << QByteArray(R"({"d":"r","n":[3,0]},{"d":"a","n":[2,0]},{"d":"b","n":[1,0]},{"d":"c","n":[0,0]},0,0,0,0)") << QByteArray();
    QTest::newRow("reasons where the directory begins")
        << QList<QByteArray>{"b:x", "u:13", "e", "b:y", "f:z", "u:5", "e", "b:l", "n:0", "e"} << true
        << QByteArray(R"({"d":"r","n":[3,1]},{"d":"x","n":[0,0],"r":"unreadable: Permission denied"},0,)"
                      R"({"d":"y","n":[0,1],"r":"unreadable: Input/output error"},"z",0,{"d":"l","n":[0,0],"r":"loop"},0,0)") << QByteArray();
    QTest::newRow("names that could end the element")
        << QList<QByteArray>{"f:</script>", "b:<!--&", "e"} << true
        << QByteArray(R"({"d":"r","n":[1,1]},"\u003c/script\u003e",{"d":"\u003c!--\u0026","n":[0,0]},0,0)") << QByteArray();
    const QList<QByteArray> sized = {"R:4096,4096,100", "m:10,4096,200", "f:a", "m:4096,4096,300", "b:sub", "m:5,0,150", "f:b", "e"};
    QTest::newRow("sizes of files and a folder, its totals")
        << sized << true << QByteArray(R"({"d":"r","n":[1,2]},"a",{"d":"sub","n":[0,1]},"b",0,0)")
        << QByteArray("8207,24,999999700,10,8,999999800,4101,8,999999700,5,0,999999850");
    QTest::newRow("sizes, folders only: files counted in the totals")
        << sized << false << QByteArray(R"({"d":"r","n":[1,2]},{"d":"sub","n":[0,1]},0,0)")
        << QByteArray("8207,24,999999700,4101,8,999999700");
    QTest::newRow("metadata that could not be read: a reason, no size")
        << QList<QByteArray>{"R:4096,4096,100", "m:!13", "f:a", "m:!5", "b:sub", "m:7,512,50", "f:b", "e"} << true
        << QByteArray(R"({"d":"r","n":[1,2],"u":2},{"f":"a","r":"unreadable: Permission denied"},)"
                      R"({"d":"sub","n":[0,1],"m":"unreadable: Input/output error","u":1},"b",0,0)")
        << QByteArray("4103,9,999999900,null,null,null,7,1,999999950,7,1,999999950");
    QTest::newRow("no time kept, none written")
        << QList<QByteArray>{"R:0,0,", "m:3,4096,", "f:a", "m:0,0,", "b:sub", "u:13", "e"} << true
        << QByteArray(R"({"d":"r","n":[1,1]},"a",{"d":"sub","n":[0,0],"r":"unreadable: Permission denied"},0,0)")
        << QByteArray("3,8,null,3,8,null,0,0,null");
    QTest::newRow("a file modified after the map was made")
        << QList<QByteArray>{"R:0,0,1000000000", "m:1,512,1000000060", "f:a"} << true
        << QByteArray(R"({"d":"r","n":[0,1]},"a",0)") << QByteArray("1,1,-60,1,1,-60");
}

void tst_Report::browseTree()
{
    QFETCH(QList<QByteArray>, events);
    QFETCH(bool, listFiles);
    QFETCH(QByteArray, tree);
    QFETCH(QByteArray, sizeList);

    QByteArray sizesData;
    const QByteArray data = browseData(events, listFiles, nullptr, &sizesData);
    const bool sizes = !events.isEmpty() && events.first().startsWith("R:");
    QCOMPARE(data, R"({"format":1,"made":"2001-09-09T01:46:40Z","files_listed":)" + QByteArray(listFiles ? "true" : "false")
                       + (sizes ? R"(,"sizes":true)" : "") + R"(,"rules":{"follow_links":true,"one_file_system":false,"sort":"filesystem","exclude":[]},)"
                       + R"("tree":[)" + tree + "]}");
    QCOMPARE(sizesData, sizeList.isEmpty() ? QByteArray() : "[" + sizeList + "]");
    for (const QByteArray &json : {data, sizesData}) {
        QJsonParseError error;
        QJsonDocument::fromJson(json.isEmpty() ? "[]" : json, &error);
        QCOMPARE(error.errorString(), QJsonParseError().errorString());
    }
}

void tst_Report::browseRules()
{
    ExclusionRules exclusions({"*.o", "</x>", "caf\xc3\xa9/"});
    WalkRules rules;
    rules.followLinks = false;
    rules.oneFileSystem = true;
    rules.order = EntryOrder::Version;
    rules.exclusions = &exclusions;
    QVERIFY(browseData({}, false, &rules).contains(
        R"("rules":{"follow_links":false,"one_file_system":true,"sort":"version",)"
        R"("exclude":["*.o","\u003c/x\u003e","caf\u00e9/"]},)"));
    rules.order = EntryOrder::Name;
    QVERIFY(browseData({}, false, &rules).contains(R"("sort":"name")"));
}

void tst_Report::browseCountsGatheredEitherWay_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<bool>("listFiles");
    QTest::addColumn<QByteArray>("rootCounts"); // folders and files below the root

    const QList<QByteArray> nested{"d:a", "a/f", "d:a/b", "a/b/g", "a/b/h", "d:c", "top"};
    QTest::newRow("files listed") << nested << true << QByteArray("\"n\":[3,4]");
    QTest::newRow("directories only") << nested << false << QByteArray("\"n\":[3,4]");
    QTest::newRow("empty root") << QList<QByteArray>{} << true << QByteArray("\"n\":[0,0]");
}

// A job told the format before counting keeps each directory's counts as it
// counts; one that is not gathers them when it maps. The page is the same.
void tst_Report::browseCountsGatheredEitherWay()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(bool, listFiles);
    QFETCH(QByteArray, rootCounts);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), entries));
    QByteArray pages[2];
    for (const bool prepared : {false, true}) {
        std::ostringstream errors;
        MapJob job(root.path().toStdString(), errors);
        if (prepared)
            job.prepareFor(ReportFormat::Browse);
        QVERIFY(job.count());
        QByteArray &page = pages[prepared];
        QVERIFY(job.map(ReportFormat::Browse, listedWhen(!listFiles), [&page](std::string_view piece) {
            page.append(piece.data(), qsizetype(piece.size()));
            return true;
        }));
        // Two jobs may list the tree in different seconds.
        page = QString::fromLatin1(page).replace(QRegularExpression("\"made\":\"[^\"]*\""), "\"made\":\"\"").toLatin1();
    }
    QVERIFY2(pages[true].contains("\"tree\":[{\"d\":") && pages[true].contains(rootCounts), pages[true].right(400));
    QCOMPARE(pages[false], pages[true]);
}

void tst_Report::asciiJsonName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("plain") << QByteArray("report.txt") << QByteArray(R"("report.txt")");
    QTest::newRow("quote and backslash") << QByteArray(R"(say "a\b")") << QByteArray(R"("say \"a\\b\"")");
    QTest::newRow("markup") << QByteArray("</script><!--&amp;") << QByteArray(R"("\u003c/script\u003e\u003c!--\u0026amp;")");
    QTest::newRow("controls") << QByteArray("\x01\n\t\r\x1f\x7f") << QByteArray(R"("\u0001\n\t\u000d\u001f\u007f")");
    QTest::newRow("e acute") << QByteArray("caf\xc3\xa9") << QByteArray(R"("caf\u00e9")");
    QTest::newRow("Greek") << QByteArray("\xce\xb1\xce\xb2") << QByteArray(R"("\u03b1\u03b2")");
    QTest::newRow("line separator") << QByteArray("\xe2\x80\xa8") << QByteArray(R"("\u2028")");
    QTest::newRow("beyond U+FFFF, a surrogate pair") << QByteArray("\xf0\x9f\x98\x80") << QByteArray(R"("\ud83d\ude00")");
    QTest::newRow("largest code point") << QByteArray("\xf4\x8f\xbf\xbf") << QByteArray(R"("\udbff\udfff")");
    QTest::newRow("Latin-1 byte shows as its character") << QByteArray("caf\xe9") << QByteArray(R"("caf\u00e9")");
    QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << QByteArray(R"("a\u0080z")");
    QTest::newRow("lead byte at the end") << QByteArray("a\xc3") << QByteArray(R"("a\u00c3")");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QByteArray(R"("\u00c0\u00af")");
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << QByteArray(R"("\u00ed\u00a0\u0080")");
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QByteArray(R"("\u00f4\u0090\u0080\u0080")");
    QTest::newRow("cut short, then text") << QByteArray("\xe2\x82x") << QByteArray(R"("\u00e2\u0082x")");
}

void tst_Report::asciiJsonName()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, written);

    std::string out;
    appendAsciiJsonString(out, std::string_view(name.constData(), std::size_t(name.size())));
    QCOMPARE(QByteArray::fromStdString(out), written);
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_report.moc"
