#include "decimaltext.h"
#include "mapjob.h"
#include "narrowtext.h"
#include "reportdocument.h"
#include "scratchdirectory.h"
#include "testtree.h"
#include "treecounter.h"
#include "treemapper.h"

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

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_report.moc"
