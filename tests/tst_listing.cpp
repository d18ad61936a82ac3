#include "directorylisting.h"
#include "directorytest.h"
#include "scratchdirectory.h"
#include "testtree.h"

#include <QtTest>

class tst_Listing : public QObject
{
    Q_OBJECT

private slots:
    void directoryTest_data();
    void directoryTest();
    void listsEntriesInFileSystemOrder_data();
    void listsEntriesInFileSystemOrder();
    void unopenableDirectory_data();
    void unopenableDirectory();
};

void tst_Listing::directoryTest_data()
{
    QTest::addColumn<QByteArray>("path"); // below the scratch directory; "" for the empty path
    QTest::addColumn<bool>("expected");

    QTest::newRow("existing directory") << QByteArray("/dir") << true;
    QTest::newRow("existing file") << QByteArray("/file") << false;
    QTest::newRow("missing path") << QByteArray("/missing") << false;
    QTest::newRow("empty path") << QByteArray() << false;
    QTest::newRow("link to a directory") << QByteArray("/dirlink") << true;
    QTest::newRow("link to a file") << QByteArray("/filelink") << false;
    QTest::newRow("dangling link") << QByteArray("/dangling") << false;
    QTest::newRow("trailing slash") << QByteArray("/dir/") << true;
    QTest::newRow("Greek directory") << QByteArray("/αβγ") << true;
    QTest::newRow("cut at a zero byte") << QByteArray("/dir\0/missing", 13) << true;
}

void tst_Listing::directoryTest()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, expected);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), {"d:dir", "file", "l:dirlink=dir", "l:filelink=file", "l:dangling=missing", "d:αβγ"}));
    const QByteArray full = path.isEmpty() ? QByteArray() : root.path() + path;
    QCOMPARE(isDirectory(full.toStdString()), expected);
}

void tst_Listing::listsEntriesInFileSystemOrder_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<QList<QByteArray>>("directories");
    QTest::addColumn<QByteArray>("suffix"); // added to the listed directory's path

    QTest::newRow("empty directory") << QList<QByteArray>{} << QList<QByteArray>{} << QByteArray();
    QTest::newRow("mixed entries")
        << QList<QByteArray>{"a.txt", "d:sub", ".hidden", "d:.hiddendir", "l:tosub=sub", "l:gone=nowhere", "p:fifo"}
        << QList<QByteArray>{"sub", ".hiddendir", "tosub"} << QByteArray();
    QTest::newRow("raw names") << QList<QByteArray>{"caf\xc3\xa9", "\xff\xfe", "d:αβγ", "a&b<c>"}
                               << QList<QByteArray>{"αβγ"} << QByteArray();
    QTest::newRow("path ending in a slash") << QList<QByteArray>{"x", "d:y"} << QList<QByteArray>{"y"} << QByteArray("/");
}

void tst_Listing::listsEntriesInFileSystemOrder()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(QList<QByteArray>, directories);
    QFETCH(QByteArray, suffix);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), entries));

    const QByteArray listed = root.path() + suffix;
    const DirectoryListing listing = listDirectory(listed.toStdString());
    QVERIFY(listing.opened);

    QList<QByteArray> names;
    for (const ListedEntry &entry : listing.entries) {
        const QByteArray name = QByteArray::fromStdString(entry.name);
        names << name;
        QCOMPARE(QByteArray::fromStdString(entry.childPath), listed + '/' + name);
        QCOMPARE(entry.isDirectory, directories.contains(name));
        QCOMPARE(entry.isDirectory, isDirectory(entry.childPath));
    }
    QCOMPARE(names, readdirOrder(root.path()));
}

void tst_Listing::unopenableDirectory_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("missing") << QByteArray("/missing");
    QTest::newRow("a file") << QByteArray("/file");
    QTest::newRow("dangling link") << QByteArray("/dangling");
}

void tst_Listing::unopenableDirectory()
{
    QFETCH(QByteArray, path);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), {"file", "l:dangling=missing"}));
    const DirectoryListing listing = listDirectory((root.path() + path).toStdString());
    QVERIFY(!listing.opened);
    QVERIFY(listing.entries.empty());
}

QTEST_GUILESS_MAIN(tst_Listing)
#include "tst_listing.moc"
