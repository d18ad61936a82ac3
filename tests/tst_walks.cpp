#include "childprocess.h"
#include "directorytally.h"
#include "exclusionrules.h"
#include "listingwatch.h"
#include "loopdisk.h"
#include "mallocarena.h"
#include "sanitizers.h"
#include "scopeddescriptor.h"
#include "scratchdirectory.h"
#include "testtree.h"
#include "threadgrowth.h"
#include "treecounter.h"
#include "treemapper.h"
#include "treescan.h"
#include "treewalk.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

namespace {

const QByteArray errorLine = "ERROR: Invalid File Path In Count Num Files and Folders Function\n";

struct Counted
{
    int files = -1;
    int folders = -1;
    QByteArray output; // what the walk wrote to standard output
};

Counted countCapturingOutput(const QByteArray &root)
{
    std::ostringstream captured;
    std::streambuf *previous = std::cout.rdbuf(captured.rdbuf());
    Counted counted;
    countFilesAndFolders(root.toStdString(), counted.files, counted.folders);
    std::cout.rdbuf(previous);
    counted.output = QByteArray::fromStdString(captured.str());
    return counted;
}

QByteArray map(const QByteArray &root, int listFiles)
{
    std::string output;
    mapDirectory(root.toStdString(), listFiles, output);
    return QByteArray::fromStdString(output);
}

// Every event a walk tells, as a line of text: what the list and the counts
// leave out, such as why a directory was not entered.
class EventTrace : public TreeVisitor
{
public:
    void file(std::string_view name) override { m_text.append("f ").append(name).append("\n"); }
    void directoryBegin(std::string_view name) override { m_text.append("b ").append(name).append("\n"); }
    void directoryEnd() override { m_text.append("e\n"); }
    void directoryUnreadable(int error) override { m_text.append("u ").append(std::to_string(error)).append("\n"); }
    void directoryNotEntered(NotEnteredReason reason) override
    {
        m_text.append("n ").append(std::to_string(int(reason))).append("\n");
    }
    void rootMetadata(const EntryMetadata &metadata) override { appendMetadata("r ", metadata); }
    void entryMetadata(const EntryMetadata &metadata) override { appendMetadata("m ", metadata); }

    const std::string &text() const { return m_text; }

private:
    void appendMetadata(const char *kind, const EntryMetadata &metadata)
    {
        m_text.append(kind);
        if (!metadata.readable()) {
            m_text.append("error ").append(std::to_string(metadata.error)).append("\n");
            return;
        }
        for (std::uint64_t number : {std::uint64_t(metadata.identity.device), std::uint64_t(metadata.identity.inode),
                                     std::uint64_t(metadata.links), metadata.size, metadata.diskBytes,
                                     std::uint64_t(metadata.modifiedSeconds),
                                     std::uint64_t(metadata.throughLink)})
            m_text.append(std::to_string(number)).append(" ");
        m_text.append("\n");
    }

    std::string m_text;
};

// Walk rules as velmora-map's options give them: "-P", "-x",
// "--sort=name", "--sort=version", "--exclude=PATTERN"; and "--sizes",
// which reads every entry's metadata.
struct TestRules
{
    WalkRules walk;
    std::unique_ptr<ExclusionRules> exclusions;

    explicit TestRules(const QByteArrayList &options)
    {
        std::vector<std::string> patterns;
        for (const QByteArray &option : options) {
            if (option == "-P")
                walk.followLinks = false;
            else if (option == "-x")
                walk.oneFileSystem = true;
            else if (option == "--sizes")
                walk.readMetadata = true;
            else if (option.startsWith("--sort="))
                walk.order = option.endsWith("=name") ? EntryOrder::Name : EntryOrder::Version;
            else if (option.startsWith("--exclude="))
                patterns.push_back(option.mid(10).toStdString());
            else
                qFatal("no such rule: %s", option.constData());
        }
        if (!patterns.empty()) {
            exclusions = std::make_unique<ExclusionRules>(std::move(patterns));
            walk.exclusions = exclusions.get();
        }
    }
};

// The paths from the root of what a walk lists, in the order it visits
// them, a directory's with "/" at the end.
class PathList : public TreeVisitor
{
public:
    void file(std::string_view name) override { m_paths << m_path + QByteArray(name.data(), qsizetype(name.size())); }
    void directoryBegin(std::string_view name) override
    {
        m_lengths.push_back(m_path.size());
        m_path += QByteArray(name.data(), qsizetype(name.size())) + '/';
        m_paths << m_path;
    }
    void directoryEnd() override
    {
        m_path.truncate(m_lengths.back());
        m_lengths.pop_back();
    }
    void directoryUnreadable(int) override {}
    void directoryNotEntered(NotEnteredReason) override {}

    const QByteArrayList &paths() const { return m_paths; }

private:
    QByteArray m_path;
    QList<qsizetype> m_lengths;
    QByteArrayList m_paths;
};

struct ChildWalks
{
    int status = -1;
    QByteArray counts; // "files folders"
    QByteArray output; // what the counting walk wrote to standard output
    QByteArray map;    // the mapping walk's list, files included
};

// Counts and maps `root` in a child process that first runs `prepare`
// (which gives false when it fails). The child hands its results back in a
// file beside the root, where any user may write.
ChildWalks walkInChild(const QByteArray &root, const std::function<bool()> &prepare)
{
    const QByteArray resultPath = root + ".result";
    ChildWalks walks;
    walks.status = runInChild([&] {
        if (!prepare())
            return 2;
        const Counted counted = countCapturingOutput(root);
        QFile out(QString::fromLocal8Bit(resultPath));
        if (!out.open(QIODevice::WriteOnly))
            return 3;
        out.write(QByteArray::number(counted.files) + ' ' + QByteArray::number(counted.folders) + '\0');
        out.write(counted.output + '\0');
        out.write(map(root, 1));
        return 0;
    });
    QFile in(QString::fromLocal8Bit(resultPath));
    if (in.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> parts = in.readAll().split('\0');
        walks.counts = parts.value(0);
        walks.output = parts.value(1);
        walks.map = parts.value(2);
        in.remove();
    }
    return walks;
}

// Makes a chain of `depth` directories named `name` below `root`, with a
// file "f" at the bottom. Works relative to open directories, since the
// chain's path may be far longer than PATH_MAX.
bool makeChain(const QByteArray &root, int depth, const QByteArray &name)
{
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        const int child = ::mkdirat(fd, name.constData(), 0755) == 0
            ? ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY) : -1;
        ::close(fd);
        fd = child;
    }
    if (fd < 0)
        return false;
    const int file = ::openat(fd, "f", O_WRONLY | O_CREAT, 0644);
    ::close(fd);
    return file >= 0 && ::close(file) == 0;
}

// Makes `depth` levels of two directories with long names each; the chain
// goes on in the one the file system lists first, so that its sibling is
// still to be visited when the walk comes back up. Gives each level's
// listing order, the chain's directory first; empty on failure.
QList<QList<QByteArray>> makeBranchingChain(const QByteArray &root, int depth, int nameLength)
{
    QList<QList<QByteArray>> orders;
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        for (char letter : {'p', 'q'})
            ::mkdirat(fd, QByteArray(nameLength, letter).constData(), 0755);
        const QList<QByteArray> order = readdirOrder("/proc/self/fd/" + QByteArray::number(fd));
        const int child = order.size() == 2 ? ::openat(fd, order[0].constData(), O_RDONLY | O_DIRECTORY) : -1;
        ::close(fd);
        fd = child;
        orders << order;
    }
    if (fd < 0)
        return {};
    const int file = ::openat(fd, "f", O_WRONLY | O_CREAT, 0644);
    ::close(fd);
    if (file < 0)
        return {};
    ::close(file);
    return orders;
}

// Records the most descriptors held at once while walking.
class DescriptorWatch : public TreeMapper
{
public:
    DescriptorWatch(std::string &output)
        : TreeMapper(ListedEntries::FilesAndDirectories, output)
    {
    }
    void directoryBegin(std::string_view name) override
    {
        TreeMapper::directoryBegin(name);
        m_most = std::max(m_most, openDescriptorCount());
    }
    int most() const { return m_most; }

private:
    int m_most = 0;
};

// Makes `count` empty files in `directory`, each with a name of `nameLength` bytes.
bool makeFiles(const QByteArray &directory, int count, int nameLength)
{
    for (int i = 0; i < count; ++i) {
        const QByteArray number = QByteArray::number(i);
        const QByteArray path = directory + '/' + number + QByteArray(nameLength - number.size(), 'n');
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::close(fd) != 0)
            return false;
    }
    return true;
}

} // namespace

class tst_Walks : public QObject
{
    Q_OBJECT

private slots:
    void countsTree_data();
    void countsTree();
    void mapsNames_data();
    void mapsNames();
    void followsFileSystemOrder_data();
    void followsFileSystemOrder();
    void followsWalkRules_data();
    void followsWalkRules();
    void matchesReferenceOnMixedTrees_data();
    void matchesReferenceOnMixedTrees();
    void countsAreOverwritten();
    void mapKeepsEarlierText();
    void unopenableRoot();
    void unreadableDirectory();
    void deepChain();
    void sameUnderLowLimits_data();
    void sameUnderLowLimits();
    void kernelPseudoFileSystems_data();
    void kernelPseudoFileSystems();
    void entriesVanishingDuringTheWalk();
    void parallelScanMatchesTheWalk_data();
    void parallelScanMatchesTheWalk();
    void parallelScanOfUnreadableDirectories();
    void walkersDoubleOnlyWhenTheyWait_data();
    void walkersDoubleOnlyWhenTheyWait();
    void assertionsCheckedUnderSanitizers();
    void sizesMatchDuAndFind_data();
    void sizesMatchDuAndFind();
};

void tst_Walks::countsTree_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("folders");

    const QByteArray longName(255, 'n');
    QTest::newRow("empty root") << QList<QByteArray>{} << 0 << 0;
    QTest::newRow("files only") << QList<QByteArray>{"a", "b", "c"} << 3 << 0;
    QTest::newRow("empty subdirectory") << QList<QByteArray>{"d:a"} << 0 << 1;
    QTest::newRow("nested file") << QList<QByteArray>{"d:a", "d:a/b", "a/b/f"} << 1 << 2;
    QTest::newRow("hidden entries") << QList<QByteArray>{".h", "d:.hd", ".hd/.x"} << 2 << 1;
    QTest::newRow("dangling link is a file") << QList<QByteArray>{"l:gone=missing"} << 1 << 0;
    QTest::newRow("link to a file is a file") << QList<QByteArray>{"f", "l:alias=f"} << 2 << 0;
    QTest::newRow("link to a directory is followed")
        << QList<QByteArray>{"d:real", "real/x", "l:alias=real"} << 2 << 2;
    QTest::newRow("link to the parent counts once") << QList<QByteArray>{"d:sub", "l:sub/up=.."} << 0 << 2;
    QTest::newRow("link to itself counts once") << QList<QByteArray>{"l:self=."} << 0 << 1;
    QTest::newRow("link two levels up") << QList<QByteArray>{"d:a", "d:a/b", "l:a/b/top=../.."} << 0 << 3;
    QTest::newRow("named pipe is a file") << QList<QByteArray>{"p:pipe"} << 1 << 0;
    QTest::newRow("Greek directory") << QList<QByteArray>{"d:αβγ", "αβγ/x"} << 1 << 1;
    QTest::newRow("invalid UTF-8 directory") << QList<QByteArray>{"d:\xff\xfe", "\xff\xfe/x"} << 1 << 1;
    QTest::newRow("255-byte names") << QList<QByteArray>{"d:" + longName, longName + "/" + longName} << 1 << 1;
}

void tst_Walks::countsTree()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(int, files);
    QFETCH(int, folders);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), entries));

    const Counted counted = countCapturingOutput(root.path());
    QCOMPARE(counted.files, files);
    QCOMPARE(counted.folders, folders);
    QCOMPARE(counted.output, QByteArray());
}

void tst_Walks::mapsNames_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<int>("listFiles");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray longName(255, 'n');
    QTest::newRow("empty root, directories only") << QList<QByteArray>{} << 0 << QByteArray("<ul></ul>");
    QTest::newRow("empty root, with files") << QList<QByteArray>{} << 1 << QByteArray("<ul></ul>");
    QTest::newRow("file, flag 0") << QList<QByteArray>{"a"} << 0 << QByteArray("<ul></ul>");
    QTest::newRow("file, flag 1") << QList<QByteArray>{"a"} << 1 << QByteArray("<ul><li>a</li></ul>");
    QTest::newRow("file, flag 2") << QList<QByteArray>{"a"} << 2 << QByteArray("<ul></ul>");
    QTest::newRow("empty subdirectory")
        << QList<QByteArray>{"d:s"} << 0 << QByteArray("<ul><b><li>s</li></b><ul></ul></ul>");
    QTest::newRow("nested, flag 1") << QList<QByteArray>{"d:a", "d:a/b", "a/b/f"} << 1
                                    << QByteArray("<ul><b><li>a</li></b><ul><b><li>b</li></b><ul><li>f</li></ul></ul></ul>");
    QTest::newRow("ampersand stays plain") << QList<QByteArray>{"a&b.txt"} << 1 << QByteArray("<ul><li>a&b.txt</li></ul>");
    QTest::newRow("angle brackets escaped")
        << QList<QByteArray>{"<b>.txt"} << 1 << QByteArray("<ul><li>&lt;b&gt;.txt</li></ul>");
    QTest::newRow("e acute as a reference") << QList<QByteArray>{"caf\xc3\xa9"} << 1 << QByteArray("<ul><li>caf&#233;</li></ul>");
    QTest::newRow("Greek directory as references")
        << QList<QByteArray>{"d:αβγ", "αβγ/x"} << 1
        << QByteArray("<ul><b><li>&#945;&#946;&#947;</li></b><ul><li>x</li></ul></ul>");
    QTest::newRow("invalid UTF-8 as the bytes' characters")
        << QList<QByteArray>{"\xff" "a\xc3"} << 1 << QByteArray("<ul><li>&#255;a&#195;</li></ul>");
    QTest::newRow("255-byte name whole") << QList<QByteArray>{longName} << 1 << "<ul><li>" + longName + "</li></ul>";
    QTest::newRow("hidden file") << QList<QByteArray>{".hidden"} << 1 << QByteArray("<ul><li>.hidden</li></ul>");
    QTest::newRow("dangling link is a file item")
        << QList<QByteArray>{"l:gone=missing"} << 1 << QByteArray("<ul><li>gone</li></ul>");
    QTest::newRow("link to the parent is not entered")
        << QList<QByteArray>{"d:sub", "l:sub/up=.."} << 1
        << QByteArray("<ul><b><li>sub</li></b><ul><b><li>up</li></b><ul></ul></ul></ul>");
    QTest::newRow("link to itself is not entered")
        << QList<QByteArray>{"l:self=."} << 0 << QByteArray("<ul><b><li>self</li></b><ul></ul></ul>");
}

void tst_Walks::mapsNames()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(int, listFiles);
    QFETCH(QByteArray, expected);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), entries));
    QCOMPARE(map(root.path(), listFiles), expected);
}

void tst_Walks::followsFileSystemOrder_data()
{
    QTest::addColumn<int>("listFiles");
    QTest::addColumn<QByteArray>("subItem");
    QTest::addColumn<bool>("filesShown");

    QTest::newRow("with files") << 1 << QByteArray("<b><li>sub</li></b><ul><li>b.txt</li></ul>") << true;
    QTest::newRow("directories only") << 0 << QByteArray("<b><li>sub</li></b><ul></ul>") << false;
}

void tst_Walks::followsFileSystemOrder()
{
    QFETCH(int, listFiles);
    QFETCH(QByteArray, subItem);
    QFETCH(bool, filesShown);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), {"a.txt", "d:sub", "sub/b.txt", "c.txt"}));

    QByteArray expected = "<ul>";
    for (const QByteArray &name : readdirOrder(root.path())) {
        if (name == "sub")
            expected += subItem;
        else if (filesShown)
            expected += "<li>" + name + "</li>";
    }
    expected += "</ul>";
    QCOMPARE(map(root.path(), listFiles), expected);

    const Counted counted = countCapturingOutput(root.path());
    QCOMPARE(counted.files, 3);
    QCOMPARE(counted.folders, 1);
}

void tst_Walks::followsWalkRules_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<QByteArray>("root");        // below the scratch directory; "" for itself
    QTest::addColumn<QByteArrayList>("rules");
    QTest::addColumn<QByteArrayList>("paths");   // what is listed; in this order where the rules sort
    QTest::addColumn<QByteArrayList>("unmatched"); // exclude patterns that matched nothing
    QTest::addColumn<int>("excluded");

    const QByteArray none;
    QTest::newRow("a name pattern at any depth")
        << QList<QByteArray>{"d:a", "a/x.o", "b.o", "d:a/b", "a/b/c.o", "keep"} << none << QByteArrayList{"--exclude=*.o"}
        << QByteArrayList{"a/", "a/b/", "keep"} << QByteArrayList{} << 3;
    QTest::newRow("a leading slash anchors at the root")
        << QList<QByteArray>{"d:foo", "foo/x", "d:a", "d:a/foo", "a/foo/y"} << none << QByteArrayList{"--exclude=/foo"}
        << QByteArrayList{"a/", "a/foo/", "a/foo/y"} << QByteArrayList{} << 1;
    QTest::newRow("a directory pattern spares a file of that name")
        << QList<QByteArray>{"d:build", "build/o", "d:src", "src/build"} << none << QByteArrayList{"--exclude=build/"}
        << QByteArrayList{"src/", "src/build"} << QByteArrayList{} << 1;
    QTest::newRow("a link to a directory is a directory")
        << QList<QByteArray>{"d:real", "real/x", "l:alias=real"} << none << QByteArrayList{"--exclude=alias/"}
        << QByteArrayList{"real/", "real/x"} << QByteArrayList{} << 1;
    QTest::newRow("**/ matches at the top and below")
        << QList<QByteArray>{"d:cache", "cache/x", "d:a", "d:a/b", "d:a/b/cache", "a/b/cache/y", "cachex"} << none
        << QByteArrayList{"--exclude=**/cache"} << QByteArrayList{"a/", "a/b/", "cachex"} << QByteArrayList{} << 2;
    QTest::newRow("/**/ takes at least one directory")
        << QList<QByteArray>{"d:a", "a/z", "d:a/m", "a/m/z", "d:a/m/n", "a/m/n/z"} << none
        << QByteArrayList{"--exclude=/a/**/z"} << QByteArrayList{"a/", "a/m/", "a/m/n/", "a/z"} << QByteArrayList{} << 2;
    QTest::newRow("* does not cross a slash")
        << QList<QByteArray>{"d:ab", "ab/c", "axc"} << none << QByteArrayList{"--exclude=/a*c"}
        << QByteArrayList{"ab/", "ab/c"} << QByteArrayList{} << 1;
    QTest::newRow("a slash inside matches the end of the path")
        << QList<QByteArray>{"d:x", "d:x/sub", "x/sub/foo", "d:sub", "sub/foo", "foo", "d:y", "y/foo"} << none
        << QByteArrayList{"--exclude=sub/foo"} << QByteArrayList{"foo", "sub/", "x/", "x/sub/", "y/", "y/foo"}
        << QByteArrayList{} << 2;
    QTest::newRow("/*** takes the directory and all below it")
        << QList<QByteArray>{"d:out", "out/x", "d:a", "a/out", "d:a/b", "d:a/b/out"} << none << QByteArrayList{"--exclude=out/***"}
        << QByteArrayList{"a/", "a/b/", "a/out"} << QByteArrayList{} << 2;
    QTest::newRow("/*** anchored, below the top")
        << QList<QByteArray>{"d:a", "d:a/b", "a/b/x", "d:c", "d:c/a", "d:c/a/b"} << none
        << QByteArrayList{"--exclude=/a/b/***"} << QByteArrayList{"a/", "c/", "c/a/", "c/a/b/"} << QByteArrayList{} << 1;
    QTest::newRow("classes and ?")
        << QList<QByteArray>{"f1", "f2", "fa", "fab", "f-b", "fAb"} << none
        << QByteArrayList{"--exclude=f[0-9]", "--exclude=f?b", "--exclude=[[:upper:]]"}
        << QByteArrayList{"fa"} << QByteArrayList{"[[:upper:]]"} << 5;
    QTest::newRow("? is one byte, whatever the locale")
        << QList<QByteArray>{"caf\xc3\xa9", "caf\xe9", "cafe", "caf\xc3\xa9x"} << none << QByteArrayList{"--exclude=caf?"}
        << QByteArrayList{"caf\xc3\xa9", "caf\xc3\xa9x"} << QByteArrayList{} << 2;
    QTest::newRow("a backslash escapes only where there are wildcards")
        << QList<QByteArray>{"a*b", "axb", "back\\slash", "back\\slash2"} << none
        << QByteArrayList{"--exclude=a\\*b", "--exclude=back\\slash"} << QByteArrayList{"axb", "back\\slash2"}
        << QByteArrayList{} << 2;
    QTest::newRow("a pattern of the root's name is not applied to the root")
        << QList<QByteArray>{"d:tree", "d:tree/tree", "tree/x"} << QByteArray("tree") << QByteArrayList{"--exclude=tree"}
        << QByteArrayList{"x"} << QByteArrayList{} << 1;
    QTest::newRow("what is below an excluded directory is never seen")
        << QList<QByteArray>{"d:d", "d/x.o", "d:e", "e/y"} << none << QByteArrayList{"--exclude=d/", "--exclude=*.o", "--exclude=/nowhere"}
        << QByteArrayList{"e/", "e/y"} << QByteArrayList{"*.o", "/nowhere"} << 1;
    QTest::newRow("every pattern that matches is noted")
        << QList<QByteArray>{"d:build", "build/x"} << none << QByteArrayList{"--exclude=build", "--exclude=build/", "--exclude=b*"}
        << QByteArrayList{} << QByteArrayList{} << 1;

    QTest::newRow("-P: a link to a directory is a file")
        << QList<QByteArray>{"d:real", "real/x", "l:alias=real"} << none << QByteArrayList{"-P"}
        << QByteArrayList{"alias", "real/", "real/x"} << QByteArrayList{} << 0;
    QTest::newRow("-P: a dangling link and a link loop are files")
        << QList<QByteArray>{"l:gone=nowhere", "l:self=.", "d:sub", "l:sub/up=..", "l:ping=pong", "l:pong=ping"} << none
        << QByteArrayList{"-P"} << QByteArrayList{"gone", "ping", "pong", "self", "sub/", "sub/up"} << QByteArrayList{} << 0;
    QTest::newRow("-P: a root that is a link is followed")
        << QList<QByteArray>{"d:real", "real/x", "l:real/up=..", "l:alias=real"} << QByteArray("alias") << QByteArrayList{"-P"}
        << QByteArrayList{"up", "x"} << QByteArrayList{} << 0;
    QTest::newRow("-P: a directory pattern does not take a link")
        << QList<QByteArray>{"d:real", "l:alias=real"} << none << QByteArrayList{"-P", "--exclude=*/"}
        << QByteArrayList{"alias"} << QByteArrayList{} << 1;

    QTest::newRow("by name: bytes, not the locale's order")
        << QList<QByteArray>{"\xc3\xa9", "z", "\xe2\x82\xac", "B", "a", "x\xff", "x\x80", "x\x7f", "file2", "file10"} << none
        << QByteArrayList{"--sort=name"}
        << QByteArrayList{"B", "a", "file10", "file2", "x\x7f", "x\x80", "x\xff", "z", "\xc3\xa9", "\xe2\x82\xac"}
        << QByteArrayList{} << 0;
    QTest::newRow("by name: directories among files, long common beginnings")
        << QList<QByteArray>{"d:dir", "dir/b", "dir/a", "common-beginning-2", "common-beginning-10", "common-beginning",
                             "common-beginning-1", "d:common-beginning-1x", "common-beginning-1x/z", "common-beginning-1x/y"}
        << none << QByteArrayList{"--sort=name"}
        << QByteArrayList{"common-beginning", "common-beginning-1", "common-beginning-10", "common-beginning-1x/",
                          "common-beginning-1x/y", "common-beginning-1x/z", "common-beginning-2", "dir/", "dir/a", "dir/b"}
        << QByteArrayList{} << 0;
    // Enough names that they are put in order by counting: many of them
    // alike in their first eight bytes or more, or in all but their seventh
    // and eighth, some with bytes above 0x7F.
    QList<QByteArray> many;
    const QByteArray letters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\x80\xff";
    for (int i = 0; i < 8000; ++i) {
        const int scrambled = (i * 7919) % 8009;
        const QByteArray number = QByteArray::number(scrambled);
        switch (i % 4) {
        case 0:
            many << "same-beginning-" + number;
            break;
        case 1:
            many << number + "\xc3\xa9";
            break;
        case 2:
            many << "s" + number;
            break;
        default:
            many << "sixsix" + letters.mid(i / 4 % 64, 1) + letters.mid(i / 4 / 64, 1);
            break;
        }
    }
    QByteArrayList manySorted = many;
    std::sort(manySorted.begin(), manySorted.end());
    QTest::newRow("by name: a large directory") << many << none << QByteArrayList{"--sort=name"} << manySorted
                                                << QByteArrayList{} << 0;
    QTest::newRow("by version: digit runs by value")
        << QList<QByteArray>{"file2", "file10", "file1", "file007", "file7", "file08", "v1.10", "v1.9", "File1", "file"}
        << none << QByteArrayList{"--sort=version"}
        << QByteArrayList{"File1", "file", "file1", "file2", "file007", "file7", "file08", "file10", "v1.9", "v1.10"}
        << QByteArrayList{} << 0;
    QTest::newRow("sorted, with files excluded")
        << QList<QByteArray>{"c", "b.o", "a", "d:d", "d/z", "d/y.o", "d/x"} << none
        << QByteArrayList{"--sort=name", "--exclude=*.o"} << QByteArrayList{"a", "c", "d/", "d/x", "d/z"} << QByteArrayList{}
        << 2;
}

void tst_Walks::followsWalkRules()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(QByteArray, root);
    QFETCH(QByteArrayList, rules);
    QFETCH(QByteArrayList, paths);
    QFETCH(QByteArrayList, unmatched);
    QFETCH(int, excluded);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), entries));
    const std::string rootPath = (root.isEmpty() ? scratch.path() : scratch.path() + '/' + root).toStdString();
    const bool sorted = std::any_of(rules.begin(), rules.end(), [](const QByteArray &rule) { return rule.startsWith("--sort"); });

    // The walk on this thread, then the scan on two.
    for (unsigned threads : {0U, 2U}) {
        TestRules walkRules(rules);
        PathList listed;
        if (threads == 0)
            walkTree(rootPath, listed, nullptr, &walkRules.walk);
        else
            scanTree(rootPath, nullptr, threads, nullptr, &walkRules.walk).replay(listed);
        QByteArrayList seen = listed.paths();
        if (!sorted)
            std::sort(seen.begin(), seen.end());
        QCOMPARE(seen, paths);
        QByteArrayList notMatched;
        if (walkRules.exclusions) {
            for (const std::string &pattern : walkRules.exclusions->unmatched())
                notMatched << QByteArray::fromStdString(pattern);
            QCOMPARE(walkRules.exclusions->excludedCount(), std::uint64_t(excluded));
        }
        QCOMPARE(notMatched, unmatched);
    }
}

void tst_Walks::matchesReferenceOnMixedTrees_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");

    QList<QByteArray> wide;
    for (int i = 0; i < 40; ++i) {
        wide << "d:dir" + QByteArray::number(i) << "file" + QByteArray::number(i);
        for (int j = 0; j < 5; ++j)
            wide << "dir" + QByteArray::number(i) + "/f" + QByteArray::number(j);
    }
    QTest::newRow("wide") << wide;

    QList<QByteArray> mixed = {"d:a", "d:a/b", "d:a/b/c", "a/b/c/1", "a/b/2", "a/3", "4", "d:e", "e/.5",
                               "l:e/to-b=../a/b", "l:e/to-file=../4", "l:dangling=nowhere", "p:fifo", "d:f"};
    QTest::newRow("mixed with links") << mixed;

    // Enough entries that a directory's listing needs several reads.
    QList<QByteArray> large = {"d:big"};
    for (int i = 0; i < 3000; ++i)
        large << "big/entry-with-a-fairly-long-name-" + QByteArray::number(i);
    large << "d:big/zz" << "big/zz/inner";
    QTest::newRow("large directory") << large;
}

void tst_Walks::matchesReferenceOnMixedTrees()
{
    QFETCH(QList<QByteArray>, entries);

    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), entries));
    for (int listFiles : {0, 1})
        QCOMPARE(map(root.path(), listFiles), referenceMap(root.path(), listFiles));

    const QByteArray withFiles = referenceMap(root.path(), 1);
    const Counted counted = countCapturingOutput(root.path());
    QCOMPARE(counted.folders, int(withFiles.count("<b><li>")));
    QCOMPARE(counted.files, int(withFiles.count("<li>") - withFiles.count("<b><li>")));
}

void tst_Walks::countsAreOverwritten()
{
    ScratchDirectory root;
    QVERIFY(root.isValid());
    int files = 5;
    int folders = 7;
    countFilesAndFolders(root.path().toStdString(), files, folders);
    QCOMPARE(files, 0);
    QCOMPARE(folders, 0);

    QVERIFY(makeTree(root.path(), {"d:a", "a/x"}));
    countFilesAndFolders(root.path().toStdString(), files, folders);
    countFilesAndFolders(root.path().toStdString(), files, folders);
    QCOMPARE(files, 1);
    QCOMPARE(folders, 1);
}

void tst_Walks::mapKeepsEarlierText()
{
    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), {"x"}));
    std::string output = "<HTML>earlier";
    mapDirectory(root.path().toStdString(), 1, output);
    QCOMPARE(output, std::string("<HTML>earlier<ul><li>x</li></ul>"));
}

void tst_Walks::unopenableRoot()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"plain"}));

    for (const QByteArray &root : {scratch.path() + "/missing", scratch.path() + "/plain", QByteArray()}) {
        const Counted counted = countCapturingOutput(root);
        QCOMPARE(counted.files, 0);
        QCOMPARE(counted.folders, 0);
        QCOMPARE(counted.output, errorLine);
        QCOMPARE(map(root, 1), QByteArray("<ul></ul>"));
    }
}

void tst_Walks::unreadableDirectory()
{
    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), {"d:locked", "locked/hidden", "d:locked/inner", "d:open", "open/x"}));
    QVERIFY(::chmod(root.path().constData(), 0755) == 0);
    QVERIFY(::chmod((root.path() + "/locked").constData(), 0) == 0);

    // Root reads every directory whatever its mode, so the walks run in a
    // child that has given up root.
    const ChildWalks walks = walkInChild(root.path(), dropRoot);
    ::chmod((root.path() + "/locked").constData(), 0755);
    QCOMPARE(walks.status, 0);
    QCOMPARE(walks.counts, QByteArray("1 2")); // open/x; locked and open
    QCOMPARE(walks.output, errorLine);
    QVERIFY2(walks.map.contains("<b><li>locked</li></b><ul></ul>"), walks.map.constData());
    QVERIFY(walks.map.contains("<b><li>open</li></b><ul><li>x</li></ul>"));
    QVERIFY(!walks.map.contains("hidden"));
}

void tst_Walks::deepChain()
{
    const int depth = 10000;
    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeChain(root.path(), depth, "d"));

    const Counted counted = countCapturingOutput(root.path());
    QCOMPARE(counted.files, 1);
    QCOMPARE(counted.folders, depth);
    QCOMPARE(counted.output, QByteArray());

    std::string output;
    DescriptorWatch watch(output);
    const int before = openDescriptorCount();
    output += "<ul>";
    walkTree(root.path().toStdString(), watch);
    output += "</ul>";
    QByteArray expected = "<ul>";
    for (int level = 0; level < depth; ++level)
        expected += "<b><li>d</li></b><ul>";
    expected += "<li>f</li>";
    for (int level = 0; level < depth; ++level)
        expected += "</ul>";
    expected += "</ul>";
    QCOMPARE(QByteArray::fromStdString(output), expected);
    QVERIFY2(watch.most() - before <= 4, qPrintable(QString::number(watch.most() - before)));
}

// The list with files and the counts, "files folders", as one text.
QByteArray listAndCounts(const TreeRecording &recording, std::ostream &errors)
{
    std::string list = "<ul>";
    TreeMapper mapper(ListedEntries::FilesAndDirectories, list);
    recording.replay(mapper);
    list += "</ul>";
    TreeCounter counter(errors);
    recording.replay(counter);
    return QByteArray::number(counter.fileCount()) + ' ' + QByteArray::number(counter.folderCount()) + ' '
        + QByteArray::fromStdString(list);
}

// Records a walk; at the given directory it takes every descriptor still
// free and keeps them to the end.
class DescriptorThief : public TreeRecording
{
public:
    explicit DescriptorThief(int atDirectory)
        : m_untilTheft(atDirectory)
    {
    }
    ~DescriptorThief() override
    {
        for (int fd : m_taken)
            ::close(fd);
    }
    void directoryBegin(std::string_view name) override
    {
        TreeRecording::directoryBegin(name);
        if (--m_untilTheft == 0)
            for (int fd; (fd = ::dup(STDERR_FILENO)) >= 0;)
                m_taken.push_back(fd);
    }

private:
    int m_untilTheft;
    std::vector<int> m_taken;
};

// A chain whose every directory is reached through a link from the one
// above, so that ".." never leads back up: store/L0 holds "next", a link to
// ../L1, and empty "e0" and "z0"; and so on. Coming back for one listed
// after "next" crosses more links than one lookup may follow.
bool makeChainOfLinks(const QByteArray &root, int depth)
{
    QList<QByteArray> entries;
    for (int level = 0; level < depth; ++level) {
        const QByteArray name = "L" + QByteArray::number(level);
        // Names that differ from level to level come in differing orders
        // around "next", whatever order the file system lists them in.
        const QByteArray number = QByteArray::number(level);
        entries << "d:" + name << "d:" + name + "/e" + number;
        if (level + 1 < depth)
            entries << "l:" + name + "/next=../L" + QByteArray::number(level + 1);
        entries << "d:" + name + "/z" + number;
    }
    return makeTree(root, entries);
}

void tst_Walks::sameUnderLowLimits_data()
{
    QTest::addColumn<QByteArray>("shape");
    QTest::addColumn<int>("resource");
    QTest::addColumn<int>("limit"); // of address space: MiB beyond what the process holds already
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<bool>("sizes"); // metadata read: every event, metadata included, the same

    const int descriptors = RLIMIT_NOFILE;
    for (unsigned threads : {1U, 2U}) {
        const QByteArray walks = threads == 1 ? "serial" : "threaded";
        for (int limit : {8, 12, 16})
            QTest::newRow("comb and wide tree, " + QByteArray::number(limit) + ", " + walks)
                << QByteArray("comb") << descriptors << limit << threads << false;
        for (int limit : {8, 16})
            QTest::newRow("chain of links, " + QByteArray::number(limit) + ", " + walks)
                << QByteArray("links") << descriptors << limit << threads << false;
        // Paths far beyond PATH_MAX, and the walk has to come back to every level.
        QTest::newRow("long names, 48, " + walks) << QByteArray("long names") << descriptors << 48 << threads << false;
        QTest::newRow("comb and wide tree, 8, sizes, " + walks) << QByteArray("comb") << descriptors << 8 << threads << true;
        QTest::newRow("chain of links, 8, sizes, " + walks) << QByteArray("links") << descriptors << 8 << threads << true;
    }
    // Something else in the process takes every free descriptor part way through.
    QTest::newRow("comb and wide tree, 32, taken while walking")
        << QByteArray("comb, taken") << descriptors << 32 << 1U << false;
    // Some 10 MB of names: several times that, but far less than 16 threads
    // with the stacks and malloc arenas a thread gets by default.
    QTest::newRow("long file names, 16 walkers, 64 MiB of address space")
        << QByteArray("long file names") << int(RLIMIT_AS) << 64 << 16U << false;
}

void tst_Walks::sameUnderLowLimits()
{
    QFETCH(QByteArray, shape);
    QFETCH(int, resource);
    QFETCH(int, limit);
    QFETCH(unsigned, threads);
    QFETCH(bool, sizes);
    if (resource == RLIMIT_AS && underAddressSanitizer)
        QSKIP("AddressSanitizer's shadow memory does not fit under an address-space limit");

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QByteArray root = scratch.path();
    if (shape.startsWith("comb")) {
        QCOMPARE(makeBranchingChain(root, 400, 8).size(), 400);
        QList<QByteArray> wide;
        for (int i = 0; i < 30; ++i)
            wide << "d:w" + QByteArray::number(i) << "w" + QByteArray::number(i) + "/f" << "d:w" + QByteArray::number(i) + "/s";
        QVERIFY(makeTree(root, wide));
    } else if (shape == "links") {
        QVERIFY(makeChainOfLinks(root, 300));
        root += "/L0";
    } else if (shape == "long file names") {
        QVERIFY(makeFiles(root, 40000, 255));
    } else {
        QCOMPARE(makeBranchingChain(root, 1500, 200).size(), 1500);
    }

    std::ostringstream errors;
    TreeRecording unlimited;
    const TestRules withSizes({"--sizes"});
    walkTree(root.toStdString(), unlimited, nullptr, sizes ? &withSizes.walk : nullptr);
    const QByteArray expected = listAndCounts(unlimited, errors);
    QCOMPARE(QByteArray::fromStdString(errors.str()), QByteArray());
    EventTrace expectedEvents;
    unlimited.replay(expectedEvents);

    const int status = runInChild([&] {
        shareOneMallocArena(); // as the programs' main do
        const rlim_t most = resource == RLIMIT_AS ? addressSpaceInUse() + (rlim_t(limit) << 20) : rlim_t(limit);
        const rlimit few{most, most};
        if (::setrlimit(resource, &few) != 0)
            return 2;
        std::ostringstream limitedErrors;
        QByteArray limited;
        if (shape.endsWith("taken")) {
            DescriptorThief recording(300);
            walkTree(root.toStdString(), recording);
            limited = listAndCounts(recording, limitedErrors);
        } else if (sizes) {
            const TreeRecording recording = scanTree(root.toStdString(), nullptr, threads, nullptr, &withSizes.walk);
            EventTrace events;
            recording.replay(events);
            if (events.text() != expectedEvents.text())
                return 1;
            limited = listAndCounts(recording, limitedErrors);
        } else {
            limited = listAndCounts(scanTree(root.toStdString(), nullptr, threads), limitedErrors);
        }
        return limited == expected && limitedErrors.str().empty() ? 0 : 1;
    });
    QCOMPARE(status, 0);
}

void tst_Walks::kernelPseudoFileSystems_data()
{
    // Mounted at @/mnt; "bind" binds @ there, "same device" binds @/src
    // there; "ext4" is a disk of its own at @/disk.
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("root");     // "@" stands for the scratch directory
    QTest::addColumn<QByteArrayList>("rules");
    QTest::addColumn<QByteArray>("expected"); // in the list and counts
    QTest::addColumn<QByteArray>("events");   // among the events of the walk; "" for none

    const QByteArrayList none;
    const QByteArrayList oneFileSystem{"-x"};
    const QByteArray mountNotEntered = "<b><li>mnt</li></b><ul></ul>";
    QTest::newRow("proc below the root is not entered")
        << QByteArray("proc") << QByteArray("@") << none << mountNotEntered << QByteArray("b mnt\nn 1\ne\n");
    QTest::newRow("sysfs below the root is not entered")
        << QByteArray("sysfs") << QByteArray("@") << none << mountNotEntered << QByteArray("b mnt\nn 1\ne\n");
    QTest::newRow("a link into proc is not entered")
        << QByteArray("proc") << QByteArray("@/d") << none << QByteArray("<ul><b><li>to-mnt</li></b><ul></ul></ul>")
        << QByteArray("b to-mnt\nn 1\ne\n");
    // The directory mounted there is the root itself: a loop that no link shows.
    QTest::newRow("the root bound below itself is not entered again")
        << QByteArray("bind") << QByteArray("@") << none << mountNotEntered << QByteArray("b mnt\nn 0\ne\n");
    // The root's own listing is read: every kernel has this setting.
    QTest::newRow("a root on proc is mapped")
        << QByteArray("proc") << QByteArray("@/mnt/sys/fs") << none << QByteArray("<li>file-max</li>") << QByteArray();
    // Its links are files there: followed, cwd, root and fd/* would lead
    // into the whole system again and again.
    QTest::newRow("a root on proc lists its links as files")
        << QByteArray("proc") << QByteArray("@/mnt/self") << none << QByteArray("<li>cwd</li>") << QByteArray("f cwd\n");
    QTest::newRow("a root on proc lists its links as files, with sizes")
        << QByteArray("proc") << QByteArray("@/mnt/self") << QByteArrayList{"--sizes"} << QByteArray("<li>cwd</li>")
        << QByteArray("f cwd\n");
    QTest::newRow("a root on proc lists its links as files, by name")
        << QByteArray("proc") << QByteArray("@/mnt/self") << QByteArrayList{"--sort=name"} << QByteArray("<li>exe</li>")
        << QByteArray("f cwd\nf environ\nf exe\n");
    QTest::newRow("a root on sysfs lists its links as files")
        << QByteArray("sysfs") << QByteArray("@/mnt/class/net") << none << QByteArray("<li>lo</li>") << QByteArray("f lo\n");
    QTest::newRow("-x: a root on sysfs lists its links as files")
        << QByteArray("sysfs") << QByteArray("@/mnt/class/net") << oneFileSystem << QByteArray("<li>lo</li>")
        << QByteArray("f lo\n");

    QTest::newRow("-x: a tmpfs below the root is not entered")
        << QByteArray("tmpfs") << QByteArray("@") << oneFileSystem << mountNotEntered << QByteArray("b mnt\nn 2\ne\n");
    QTest::newRow("-x: a disk below the root is not entered")
        << QByteArray("ext4") << QByteArray("@") << oneFileSystem << QByteArray("<b><li>disk</li></b><ul></ul>")
        << QByteArray("b disk\nn 2\ne\n");
    QTest::newRow("without -x, a disk below the root is entered")
        << QByteArray("ext4") << QByteArray("@") << none << QByteArray("<b><li>disk</li></b><ul><b><li>lost+found</li></b>")
        << QByteArray();
    QTest::newRow("-x: proc below the root is another file system")
        << QByteArray("proc") << QByteArray("@") << oneFileSystem << mountNotEntered << QByteArray("b mnt\nn 2\ne\n");
    QTest::newRow("-x: a link to another file system is not entered")
        << QByteArray("tmpfs") << QByteArray("@/d") << oneFileSystem << QByteArray("<ul><b><li>to-mnt</li></b><ul></ul></ul>")
        << QByteArray("b to-mnt\nn 2\ne\n");
    QTest::newRow("-x: a bind mount from the same device is entered")
        << QByteArray("same device") << QByteArray("@") << oneFileSystem
        << QByteArray("<b><li>mnt</li></b><ul><li>inside</li></ul>") << QByteArray();
    QTest::newRow("-x: the root bound below itself is a loop")
        << QByteArray("bind") << QByteArray("@") << oneFileSystem << mountNotEntered << QByteArray("b mnt\nn 0\ne\n");
    QTest::newRow("-x: a root on proc is mapped")
        << QByteArray("proc") << QByteArray("@/mnt/sys/fs") << oneFileSystem << QByteArray("<li>file-max</li>") << QByteArray();
}

void tst_Walks::kernelPseudoFileSystems()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, root);
    QFETCH(QByteArrayList, rules);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, events);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:mnt", "f", "d:d", "l:d/to-mnt=../mnt", "d:src", "src/inside"}));
    const QByteArray mountPoint = scratch.path() + "/mnt";
    std::optional<LoopDisk> disk;
    int mounted = 0;
    if (type == "ext4")
        disk.emplace(scratch.path());
    else if (type == "bind" || type == "same device")
        mounted = ::mount((type == "bind" ? scratch.path() : scratch.path() + "/src").constData(), mountPoint.constData(),
                          nullptr, MS_BIND, nullptr);
    else
        mounted = ::mount(type.constData(), mountPoint.constData(), type.constData(), MS_RDONLY, nullptr);
    if (mounted != 0 || (disk && !disk->isMounted()))
        QSKIP(qPrintable("cannot mount " + type + " here (needs root): "
                         + (disk ? disk->failure() : QByteArray(std::strerror(errno)))));
    struct Unmount
    {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{disk ? QByteArray() : mountPoint};

    root.replace('@', scratch.path());
    const TestRules walkRules(rules);
    for (unsigned threads : {1U, 2U}) {
        std::ostringstream errors;
        const TreeRecording recording = scanTree(root.toStdString(), nullptr, threads, nullptr, &walkRules.walk);
        const QByteArray map = listAndCounts(recording, errors);
        QVERIFY2(map.contains(expected), map.left(300).constData());
        QCOMPARE(QByteArray::fromStdString(errors.str()), QByteArray());
        EventTrace trace;
        recording.replay(trace);
        QVERIFY2(QByteArray::fromStdString(trace.text()).contains(events), trace.text().c_str());
    }
    // Handed over to a walk of its own, the mount is not entered either, for the same reason.
    if (root == scratch.path() && !events.isEmpty()) {
        const QByteArray name = events.mid(2, events.indexOf('\n') - 2);
        const ScopedDescriptor rootFd(::open(root.constData(), O_RDONLY | O_DIRECTORY));
        DirectoryIdentity rootIdentity;
        QVERIFY(identifyDirectory(rootFd.get(), rootIdentity));
        WalkLimits limits;
        limits.rules = &walkRules.walk;
        EventTrace trace;
        walkFrom({rootFd.get(), name.toStdString(), {rootIdentity}}, trace, nullptr, limits);
        QCOMPARE(QByteArray::fromStdString(trace.text()), events.mid(events.indexOf('\n') + 1).chopped(2));
    }
}

void tst_Walks::entriesVanishingDuringTheWalk()
{
    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), {"d:a", "a/1", "d:b", "b/2", "d:c", "c/3"}));

    // When the first directory is begun the other two, already listed, are removed.
    class Remover : public TreeCounter
    {
    public:
        Remover(const QByteArray &root, std::ostream &errors)
            : TreeCounter(errors)
            , m_root(root)
        {
        }
        void directoryBegin(std::string_view name) override
        {
            TreeCounter::directoryBegin(name);
            if (m_first.isEmpty()) {
                m_first = QByteArray(name.data(), qsizetype(name.size()));
                for (const char *other : {"a", "b", "c"})
                    if (other != m_first)
                        removeTree(m_root + '/' + other);
            }
        }
        QByteArray m_root;
        QByteArray m_first;
    };

    std::ostringstream errors;
    Remover remover(root.path(), errors);
    walkTree(root.path().toStdString(), remover);
    QCOMPARE(remover.folderCount(), 3);
    QCOMPARE(remover.fileCount(), 1);
    QCOMPARE(QByteArray::fromStdString(errors.str()), errorLine + errorLine);
}

int threadCount()
{
    return int(readdirOrder("/proc/self/task").size());
}

int usableCores()
{
    cpu_set_t cores;
    return ::sched_getaffinity(0, sizeof cores, &cores) == 0 ? CPU_COUNT(&cores) : 1;
}

// Every directory listed while it lives, by any walk of the process, once
// for each time it was listed.
class ListingLog
{
public:
    ListingLog()
    {
        active = this;
        listingWatch.store(&note);
    }
    ~ListingLog()
    {
        listingWatch.store(nullptr);
        active = nullptr;
    }
    ListingLog(const ListingLog &) = delete;
    ListingLog &operator=(const ListingLog &) = delete;

    // What was listed since the last take(), in order of identity.
    std::vector<DirectoryIdentity> take()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<DirectoryIdentity> listed;
        listed.swap(m_listed);
        std::sort(listed.begin(), listed.end(), [](const DirectoryIdentity &a, const DirectoryIdentity &b) {
            return std::pair(a.device, a.inode) < std::pair(b.device, b.inode);
        });
        return listed;
    }

private:
    static void note(const DirectoryIdentity &listed)
    {
        const std::lock_guard<std::mutex> lock(active->m_mutex);
        active->m_listed.push_back(listed);
    }

    static inline ListingLog *active = nullptr;
    std::mutex m_mutex;
    std::vector<DirectoryIdentity> m_listed;
};

// Compares what a sequential walk and a scan on `threads` threads give of
// `root` under `rules`: the list with files, the counts, the error lines and
// how often each directory was listed. Gives "same" and the number of error
// lines, or what differs.
QByteArray walkVersusScan(const QByteArray &root, unsigned threads, const WalkProgress *progress = nullptr,
                          const WalkRules *rules = nullptr)
{
    // The scan goes first, to find the tree as the caller left it.
    ListingLog listings;
    const TreeRecording scanned = scanTree(root.toStdString(), progress, threads, nullptr, rules);
    const std::vector<DirectoryIdentity> scanListed = listings.take();
    std::string walked;
    std::ostringstream walkErrors;
    TreeCounter walkCounter(walkErrors);
    walkTree(root.toStdString(), walkCounter, nullptr, rules);
    const std::vector<DirectoryIdentity> walkListed = listings.take();
    if (rules) {
        walked = "<ul>";
        TreeMapper walkMapper(ListedEntries::FilesAndDirectories, walked);
        walkTree(root.toStdString(), walkMapper, nullptr, rules);
        walked += "</ul>";
    } else {
        mapDirectory(root.toStdString(), 1, walked);
    }

    std::string replayed = "<ul>";
    TreeMapper mapper(ListedEntries::FilesAndDirectories, replayed);
    scanned.replay(mapper);
    replayed += "</ul>";
    std::ostringstream scanErrors;
    TreeCounter scanCounter(scanErrors);
    scanned.replay(scanCounter);

    if (walked != replayed)
        return "lists differ:\n" + QByteArray::fromStdString(walked) + "\n" + QByteArray::fromStdString(replayed);
    EventTrace walkEvents;
    walkTree(root.toStdString(), walkEvents, nullptr, rules);
    EventTrace scanEvents;
    scanned.replay(scanEvents);
    if (walkEvents.text() != scanEvents.text())
        return "events differ:\n" + QByteArray::fromStdString(walkEvents.text()) + "\n"
               + QByteArray::fromStdString(scanEvents.text());
    if (walkCounter.fileCount() != scanCounter.fileCount() || walkCounter.folderCount() != scanCounter.folderCount())
        return "counts differ";
    // The same output may hide a subtree walked twice, or one lost and made up for.
    if (walkListed.empty())
        return "no listing watched";
    if (scanListed != walkListed)
        return "listings differ: " + QByteArray::number(qsizetype(scanListed.size())) + " by the scan, "
               + QByteArray::number(qsizetype(walkListed.size())) + " by the walk";
    if (walkErrors.str() != scanErrors.str())
        return "error lines differ";
    const std::string errorLines = walkErrors.str();
    return "same, " + QByteArray::number(std::count(errorLines.begin(), errorLines.end(), '\n')) + " error lines";
}

void tst_Walks::parallelScanMatchesTheWalk_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<bool>("readFromDisk"); // first scanned with nothing of it in memory
    QTest::addColumn<QByteArrayList>("rules");

    const QByteArrayList none;
    QList<QByteArray> wide;
    QList<QByteArray> wideWithLinks;
    for (int i = 0; i < 30; ++i) {
        const QByteArray dir = "d" + QByteArray::number(i);
        wide << "d:" + dir << dir + "/f" << "d:" + dir + "/sub" << dir + "/sub/g" << "top" + QByteArray::number(i);
        wideWithLinks << "l:" + dir + "/up=.." << "l:" + dir + "/sub/next=../../d" + QByteArray::number((i + 1) % 30);
    }
    wideWithLinks = wide + wideWithLinks;
    QTest::newRow("wide") << wide << false << none;
    QTest::newRow("wide, sizes") << wide << false << QByteArrayList{"--sizes"};
    // Exclusions by name and by path, below subtrees handed over too.
    QTest::newRow("wide, every rule")
        << wideWithLinks << false
        << QByteArrayList{"-P", "-x", "--sort=name", "--exclude=*1", "--exclude=/d2*/sub/", "--exclude=sub/g"};
    // Each entry's metadata moves with it when its directory is sorted.
    QTest::newRow("wide, every rule, sizes")
        << wideWithLinks << false
        << QByteArrayList{"-P", "-x", "--sort=name", "--exclude=*1", "--exclude=/d2*/sub/", "--exclude=sub/g", "--sizes"};
    QTest::newRow("wide, by version, links followed")
        << wideWithLinks << false << QByteArrayList{"--sort=version", "--exclude=/d1?/sub/next/"};
    // One directory under another: splitting finds one task a level, three levels down.
    QTest::newRow("narrow") << QList<QByteArray>{"d:a", "d:a/b", "d:a/b/c", "d:a/b/c/d", "a/b/c/d/f", "a/b/x", "a/y"} << false
                            << none;
    const QList<QByteArray> links = {"d:a", "d:a/b", "d:a/b/c", "l:a/b/c/to-root=../../..", "l:a/b/c/to-a=../..",
                                     "l:a/to-b=b", "l:self=.", "d:e", "l:e/to-a=../a", "l:e/gone=nowhere", "e/f"};
    QTest::newRow("links back across split points") << links << false << none;
    QTest::newRow("links back across split points, -P") << links << false << QByteArrayList{"-P"};
    QTest::newRow("links back across split points, sizes") << links << false << QByteArrayList{"--sizes"};
    QTest::newRow("links back across split points, -P, sizes") << links << false << QByteArrayList{"-P", "--sizes"};
    QTest::newRow("links back across split points, excluded")
        << links << false << QByteArrayList{"--exclude=to-a", "--exclude=/e/", "--sort=name"};
    QTest::newRow("link to a directory at the top") << QList<QByteArray>{"d:real", "real/x", "l:alias=real", "d:other"} << false
                                                    << none;
    QTest::newRow("empty root") << QList<QByteArray>{} << false << none;
    QTest::newRow("files only") << QList<QByteArray>{"a", "b", "c"} << false << none;

    // Read from the disk, the scan adds threads while it walks.
    QList<QByteArray> onDisk;
    for (int i = 0; i < 40; ++i) {
        const QByteArray top = "t" + QByteArray::number(i);
        onDisk << "d:" + top;
        for (int j = 0; j < 100; ++j)
            onDisk << "d:" + top + "/s" + QByteArray::number(j) << top + "/s" + QByteArray::number(j) + "/f";
    }
    QTest::newRow("read from the disk") << onDisk << true << none;
    QTest::newRow("read from the disk, sizes") << onDisk << true << QByteArrayList{"--sizes"};
}

void tst_Walks::parallelScanMatchesTheWalk()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(bool, readFromDisk);
    QFETCH(QByteArrayList, rules);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    std::optional<LoopDisk> disk;
    QByteArray root = scratch.path();
    if (readFromDisk) {
        disk.emplace(scratch.path());
        if (!disk->isMounted())
            QSKIP(qPrintable("no disk of its own here: " + disk->failure()));
        root = disk->path() + "/tree";
        QVERIFY(::mkdir(root.constData(), 0755) == 0);
    }
    QVERIFY(makeTree(root, entries));
    const TestRules walkRules(rules);
    const WalkRules *const given = rules.isEmpty() ? nullptr : &walkRules.walk;
    if (readFromDisk) {
        QVERIFY2(disk->remount(), disk->failure().constData());
        // Progress is reported from the calling thread while the walkers run.
        const int before = threadCount();
        int mostWalkers = 0;
        const WalkProgress watch{[&](std::uint64_t) { mostWalkers = std::max(mostWalkers, threadCount() - before); }, 1};
        QCOMPARE(walkVersusScan(root, 0, &watch, given), QByteArray("same, 0 error lines"));
        // It begins with the cores, and adds threads up to 16.
        if (usableCores() < 16)
            QVERIFY2(mostWalkers > usableCores(), qPrintable(QString::number(mostWalkers) + " walkers"));
    }
    for (unsigned threads : {1U, 2U, 4U})
        QCOMPARE(walkVersusScan(root, threads, nullptr, given), QByteArray("same, 0 error lines"));
}

void tst_Walks::parallelScanOfUnreadableDirectories()
{
    ScratchDirectory root;
    QVERIFY(root.isValid());
    QVERIFY(makeTree(root.path(), {"d:a", "d:a/locked", "a/locked/x", "d:b", "d:b/c", "d:b/c/locked", "d:locked", "f"}));
    QVERIFY(::chmod(root.path().constData(), 0755) == 0);
    for (const char *locked : {"/a/locked", "/b/c/locked", "/locked"})
        QVERIFY(::chmod((root.path() + locked).constData(), 0) == 0);

    const int status = runInChild([&] {
        if (!dropRoot())
            return 2;
        return walkVersusScan(root.path(), 2) == "same, 3 error lines" ? 0 : 1;
    });
    for (const char *locked : {"/a/locked", "/b/c/locked", "/locked"})
        ::chmod((root.path() + locked).constData(), 0755);
    QCOMPARE(status, 0);
}

void tst_Walks::walkersDoubleOnlyWhenTheyWait_data()
{
    QTest::addColumn<int>("walking");
    QTest::addColumn<bool>("sameThreads");
    QTest::addColumn<double>("busyShare");
    QTest::addColumn<double>("bytesFetchedPerSecond");
    QTest::addColumn<bool>("doubled");
    constexpr double kib = 1024;
    QTest::newRow("busy, in the page cache") << 2 << true << 0.95 << 0.0 << false;
    // 90 KiB in one look of 10 ms: blocks the kernel dropped to reclaim memory.
    QTest::newRow("busy, a few blocks read again") << 2 << true << 0.95 << 9000 * kib << false;
    QTest::newRow("busy, reading the disk") << 2 << true << 0.95 << 160000 * kib << true;
    QTest::newRow("waiting") << 2 << true << 0.2 << 0.0 << true;
    QTest::newRow("waiting, threads just begun") << 4 << false << 0.2 << 0.0 << false;
    QTest::newRow("nothing under way") << 0 << true << 0.0 << 160000 * kib << false;
}

void tst_Walks::walkersDoubleOnlyWhenTheyWait()
{
    QFETCH(int, walking);
    QFETCH(bool, sameThreads);
    QFETCH(double, busyShare);
    QFETCH(double, bytesFetchedPerSecond);
    QFETCH(bool, doubled);
    QCOMPARE(moreWalkersHelp({walking, sameThreads, busyShare, bytesFetchedPerSecond}), doubled);
}

void tst_Walks::assertionsCheckedUnderSanitizers()
{
#ifdef NDEBUG
    QVERIFY2(!underAddressSanitizer, "the sanitizer build leaves the assertions out");
    QSKIP("this build leaves the assertions out");
#else
    const int status = runInChild([] {
        ::dup2(::open("/dev/null", O_WRONLY | O_CLOEXEC), STDERR_FILENO); // the assertion's message is expected
        DirectoryTally tally;
        tally.directoryEnd(); // the root is closed by finish() alone
        return 0;
    });
    QCOMPARE(status, -1); // ended by the assertion
#endif
}

// Runs `command` and gives what it wrote to standard output; `status` gets
// its exit status, -1 when it did not run or end normally.
QByteArray outputOf(const QStringList &command, int &status)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.first(), command.mid(1));
    const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    status = ended ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

// Splits "a b c rest of line" into its first `count` words and the rest.
QByteArrayList words(const QByteArray &line, int count)
{
    QByteArrayList parts;
    qsizetype from = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype space = line.indexOf(' ', from);
        parts << line.mid(from, space - from);
        from = space + 1;
    }
    return parts << line.mid(from);
}

// Whether du --apparent-size counts a directory as 0 bytes.
bool duLeavesOutDirectoryLengths()
{
    static const bool leavesOut = [] {
        ScratchDirectory empty;
        int status = 0;
        return outputOf({"du", "-s", "-B1", "--apparent-size", QString::fromLocal8Bit(empty.path())}, status).startsWith("0\t");
    }();
    return leavesOut;
}

bool isBelow(const QByteArray &path, const QByteArray &directory)
{
    return directory == "." ? path != "." : path.startsWith(directory + '/');
}

// What find says of one entry: its type, size, 512-byte blocks and time.
struct Found
{
    QByteArray type;
    quint64 size = 0;
    quint64 disk = 0;
    QByteArray time; // whole seconds
};

// What velmora-treesizes says of a directory's subtree.
struct Tallied
{
    quint64 size = 0;
    quint64 disk = 0;
    quint64 sharedSize = 0;
    quint64 sharedDisk = 0;
    uint unreadable = 0;
    uint folders = 0;
    uint files = 0;
    QByteArray state;
};

void tst_Walks::sizesMatchDuAndFind_data()
{
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<QByteArrayList>("rules");      // velmora's; du and find are given the same
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<int>("failedStatx");           // the statx call of the walk that fails with ENOENT; 0: none
    QTest::addColumn<bool>("mount");                // a tmpfs at "mnt", holding a file
    QTest::addColumn<QByteArrayList>("unreadable"); // "PATH ERRNO"; "#0" is the root's first entry as listed
    QTest::addColumn<bool>("countsLikeFind");       // each directory's folders and files as find counts them

    const QByteArrayList none;
    const QList<QByteArray> hardLinks = {"d:a", "w:a/f=10000", "h:a/g=a/f", "w:a/h=3000", "d:b", "h:b/f=a/f",
                                         "w:b/own=30000", "d:a/deep", "h:a/deep/z=b/own", "d:c", "w:c/x=700", "h:c/y=c/x"};
    QTest::newRow("hard links in one folder and across folders") << hardLinks << none << false << 0 << false << none << true;
    QTest::newRow("hard links, -P") << hardLinks << QByteArrayList{"-P"} << false << 0 << false << none << true;
    QTest::newRow("hard links: a name outside the mapped tree")
        << QList<QByteArray>{"d:in", "d:in/a", "w:in/a/f=9000", "h:out=in/a/f", "w:in/a/g=300", "h:in/g=in/a/g"}
        << QByteArrayList{"@in"} << false << 0 << false << none << true;
    QList<QByteArray> snapshots = {"d:s1", "d:s1/d", "w:s1/d/f=20000", "w:s1/g=700", "w:s1/d/only=50", "d:s2", "d:s2/d", "d:s3", "d:s3/d"};
    for (const QByteArray snapshot : {"s2", "s3"})
        snapshots << "h:" + snapshot + "/d/f=s1/d/f" << "h:" + snapshot + "/g=s1/g" << "h:" + snapshot + "/d/only=s1/d/only";
    QTest::newRow("hard links: three snapshots, as cp -al makes them") << snapshots << none << false << 0 << false << none << true;
    QTest::newRow("sparse files, an empty file, 4 GiB with nothing written")
        << QList<QByteArray>{"s:sparse=1000000", "w:part=5000", "s:part=3000000", "empty", "d:d", "s:d/big=4294967296",
                             "w:d/data=70000"}
        << none << false << 0 << false << none << true;
    // Numbers that take every width: 8 TiB, times before 1970 and far ahead.
    QTest::newRow("8 TiB with nothing written, times before 1970 and in 2286")
        << QList<QByteArray>{"s:huge=8796093022208", "t:huge=-2000000000", "w:f=10", "t:f=9999999999", "d:d", "w:d/x=5",
                             "t:d/x=-1", "t:d=0"}
        << none << false << 0 << false << none << true;
    const QList<QByteArray> links = {"d:a", "w:a/f=10000", "w:a/only=600", "d:b", "l:b/l=../a/f", "l:b/dl=../a", "l:b/up=..",
                                     "l:gone=nowhere", "w:g=50", "d:c", "l:c/gone=../nowhere"};
    QTest::newRow("links followed: a file and a folder reached twice, a loop, dangling links")
        << links << none << false << 0 << false << none << true;
    QTest::newRow("links not followed") << links << QByteArrayList{"-P"} << false << 0 << false << none << true;
    QTest::newRow("sorted by name: sizes move with their entries")
        << QList<QByteArray>{"w:c=300", "w:a=100", "w:b=200", "d:d", "w:d/z=5", "w:d/y=7000", "w:d/x=9000"}
        << QByteArrayList{"--sort=name"} << false << 0 << false << none << true;
    QTest::newRow("an excluded subtree counts nothing")
        << QList<QByteArray>{"d:skip", "w:skip/big=50000", "d:a", "d:a/skip", "w:a/skip/x=7000", "w:a/keep=10", "w:k=1"}
        << QByteArrayList{"--exclude=skip"} << false << 0 << false << none << true;
    QTest::newRow("a hard link whose other name is excluded counts where it is kept")
        << QList<QByteArray>{"d:skip", "w:skip/big=50000", "d:a", "h:a/kept=skip/big", "w:a/x.o=3000", "h:a/y=a/x.o", "w:z=20", "h:a/z=z"}
        << QByteArrayList{"--exclude=skip", "--exclude=*.o"} << false << 0 << false << none << true;
    // Listed, not searchable: its entries keep their names and places and
    // have no size; one that cannot be opened counts its own size, as du does.
    QTest::newRow("a folder listed but not searchable, as nobody")
        << QList<QByteArray>{"d:ro", "w:ro/x=100", "d:ro/sub", "w:ro/sub/y=5", "w:ok=10", "d:locked", "w:locked/z=1",
                             "m:ro=444", "m:locked=0", "m:=755"}
        << none << true << 0 << false << QByteArrayList{"ro/sub 13", "ro/x 13"} << false;
    // The root's own statx is the first.
    QTest::newRow("an entry removed between listing and statx")
        << QList<QByteArray>{"w:a=100", "w:b=2000", "w:c=30000"} << none << false << 2 << false
        << QByteArrayList{"#0 2"} << true;
    QTest::newRow("-x: another file system below counts nothing")
        << QList<QByteArray>{"d:mnt", "w:f=1000", "d:d", "l:d/to-mnt=../mnt"} << QByteArrayList{"-x"} << false << 0
        << true << none << true;
}

void tst_Walks::sizesMatchDuAndFind()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(QByteArrayList, rules);
    QFETCH(bool, asNobody);
    QFETCH(int, failedStatx);
    QFETCH(bool, mount);
    QFETCH(QByteArrayList, unreadable);
    QFETCH(bool, countsLikeFind);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), entries));
    // "@in": the folder "in" is mapped, and what is beside it is outside.
    const QByteArray root = scratch.path() + (rules.removeAll("@in") ? "/in" : "");
    struct Unmount
    {
        QByteArray path;
        ~Unmount()
        {
            if (!path.isEmpty())
                ::umount2(path.constData(), MNT_DETACH);
        }
    } unmount;
    if (mount) {
        if (::mount("tmpfs", (root + "/mnt").constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP(qPrintable("cannot mount a tmpfs here (needs root): " + QByteArray(std::strerror(errno))));
        unmount.path = root + "/mnt";
        QVERIFY(makeTree(root, {"w:mnt/inside=5000"}));
    }

    QStringList user;
    if (asNobody)
        user << "runuser" << "-u" << "nobody" << "--";
    QStringList ours = user;
    if (failedStatx > 0) {
        ours << "strace" << "-f" << "-qq" << "-o" << "/dev/null" << "-e" << "trace=statx" << "-e"
             << "inject=statx:error=ENOENT:when=" + QString::number(failedStatx);
        // LeakSanitizer cannot work under ptrace.
        if (underAddressSanitizer)
            ours << "-E" << "ASAN_OPTIONS=" + qEnvironmentVariable("ASAN_OPTIONS") + ":detect_leaks=0";
    }
    // Beside the tree, not in it, where nobody may run it.
    ScratchDirectory programs;
    const QString treeSizes = asNobody && ::chmod(programs.path().constData(), 0755) == 0
                                  ? copyNobodyCanRun(QStringLiteral(VELMORA_TREESIZES), programs.path())
                                  : QStringLiteral(VELMORA_TREESIZES);
    QVERIFY(!treeSizes.isEmpty());
    ours << treeSizes;
    const bool follow = !rules.contains("-P");
    QStringList duOptions{"-B1", follow ? "-L" : "-P"};
    QStringList findOptions{follow ? "-L" : "-P", QString::fromLocal8Bit(root)};
    QStringList findPruned; // a pattern of a name alone leaves out what find's -name matches
    for (const QByteArray &rule : rules) {
        ours << QString::fromLocal8Bit(rule);
        if (rule.startsWith("--exclude=")) {
            duOptions << QString::fromLocal8Bit(rule);
            QVERIFY2(!rule.contains('/'), "find cannot be given this pattern");
            findPruned << "-name" << QString::fromLocal8Bit(rule.mid(10)) << "-prune" << "-o";
        }
        if (rule == "-x") {
            duOptions << "-x";
            findOptions << "-xdev";
        }
    }
    int status = 0;
    const QByteArray listed = outputOf(ours + QStringList{"-j1", QString::fromLocal8Bit(root)}, status);
    QCOMPARE(status, 0);
    // The scan on several threads says the same, in the same order.
    if (failedStatx == 0)
        QCOMPARE(outputOf(ours + QStringList{"-j2", QString::fromLocal8Bit(root)}, status), listed);

    QMap<QByteArray, Found> described;
    QMap<QByteArray, Tallied> tallied;
    QByteArrayList failed;
    for (const QByteArray &line : listed.split('\n')) {
        if (line.startsWith("f ") || line.startsWith("d ")) {
            const QByteArrayList part = words(line, 4);
            described[part[4]] = {part[0], part[1].toULongLong(), part[2].toULongLong(), part[3]};
        } else if (line.startsWith("? ")) {
            const QByteArrayList part = words(line, 2);
            failed << part[2] + ' ' + part[1];
        } else if (line.startsWith("t ")) {
            const QByteArrayList part = words(line, 9);
            tallied[part[9]] = {part[1].toULongLong(), part[2].toULongLong(), part[3].toULongLong(), part[4].toULongLong(),
                                part[5].toUInt(), part[6].toUInt(), part[7].toUInt(), part[8]};
        } else if (line.startsWith("count ")) {
            QCOMPARE(line.mid(6).toLongLong(), failed.size());
        }
    }
    std::sort(failed.begin(), failed.end());
    for (QByteArray &expected : unreadable)
        expected.replace("#0", readdirOrder(root).value(0));
    QCOMPARE(failed, unreadable);

    // Each entry's metadata is what find says of it, with links followed
    // or not as the walk; find leaves out a link back to a folder above.
    QMap<QByteArray, Found> found;
    for (const QByteArray &line : outputOf(user + QStringList{"find"} + findOptions + findPruned + QStringList{"-printf", "%y %s %b %T@ %P\\n"}, status)
                                      .split('\n')) {
        if (line.isEmpty())
            continue;
        const QByteArrayList part = words(line, 4);
        const QByteArray path = part[4].isEmpty() ? "." : part[4];
        found[path] = {part[0], part[1].toULongLong(), part[2].toULongLong() * 512, part[3].split('.').value(0)};
    }
    for (auto entry = described.cbegin(); entry != described.cend(); ++entry) {
        if (!found.contains(entry.key())) {
            QVERIFY2(tallied.value(entry.key()).state == "loop", entry.key().constData());
            continue;
        }
        const Found &reference = found[entry.key()];
        QVERIFY2(entry->size == reference.size && entry->disk == reference.disk && entry->time == reference.time,
                 qPrintable(entry.key() + ": " + QByteArray::number(entry->size) + ' ' + QByteArray::number(entry->disk) + ' '
                            + entry->time + ", find: " + QByteArray::number(reference.size) + ' '
                            + QByteArray::number(reference.disk) + ' ' + reference.time));
    }
    for (auto entry = found.cbegin(); entry != found.cend(); ++entry)
        QVERIFY2(described.contains(entry.key()) || failed.contains(entry.key() + " 2"), entry.key().constData());

    // Each directory's subtree as du -s sums it alone: every file once,
    // wherever else it is linked, and nothing of a link that leads nowhere.
    // du counts an entry removed after it was listed. With -l, du counts
    // hard links each time: a tree with them has to tell the two apart, or
    // its row says nothing of counting each file once.
    // A link back to a folder above is a loop, and counts nothing: du -s of
    // a folder below its target would follow it.
    QStringList duLoops;
    for (auto directory = tallied.cbegin(); directory != tallied.cend(); ++directory) {
        if (directory->state == "loop")
            duLoops << "--exclude=" + QString::fromLocal8Bit(root + '/' + directory.key());
    }
    const auto duOf = [&](const QByteArray &path, QStringList options) {
        options = user + QStringList{"du", "-s"} + duOptions + duLoops + options;
        const QByteArray line = outputOf(options << QString::fromLocal8Bit(root + (path == "." ? "" : "/" + path)), status);
        return line.left(line.indexOf('\t')).toULongLong();
    };
    // What find says of every place, and of every name as the file system
    // holds it: "DEVICE:INODE" by path.
    QMap<QByteArray, QByteArray> placeOf;
    QMap<QByteArray, QByteArray> nameOf;
    QMap<QByteArray, uint> linksOf;
    for (const bool places : {true, false}) {
        QStringList options = places ? findOptions : QStringList{"-P", QString::fromLocal8Bit(root)} + findOptions.mid(2);
        options = user + QStringList{"find"} + options + findPruned + QStringList{"-printf", "%D:%i %n %y %P\\n"};
        for (const QByteArray &line : outputOf(options, status).split('\n')) {
            const QByteArrayList part = words(line, 3);
            if (part.size() < 4 || (places && follow && part[2] == "l")) // du -L adds nothing of a link that leads nowhere
                continue;
            const QByteArray path = part[3].isEmpty() ? "." : part[3];
            (places ? placeOf : nameOf)[path] = part[0];
            linksOf[part[0]] = part[2] == "d" ? 1 : part[1].toUInt();
        }
    }
    const bool hardLinks = std::any_of(entries.cbegin(), entries.cend(), [](const QByteArray &entry) { return entry.startsWith("h:"); });
    if (hardLinks)
        QVERIFY2(tallied.value(".").size < duOf(".", {"--apparent-size", "-l"}), "as du -l counts");
    for (auto directory = tallied.cbegin(); directory != tallied.cend(); ++directory) {
        const QByteArray &path = directory.key();
        if (directory->state == "loop" || directory->state == "pseudo" || directory->state == "other") {
            // What du leaves out counts nothing here.
            QCOMPARE(directory->size, quint64(0));
            continue;
        }
        quint64 size = duOf(path, {"--apparent-size"});
        quint64 disk = duOf(path, {});
        // du from coreutils 9.2 on leaves a directory's own length out of
        // its apparent size; the tally counts it, as du -s did before.
        QSet<QByteArray> directories;
        for (auto entry = found.cbegin(); entry != found.cend(); ++entry) {
            if (entry.key() != path && !isBelow(entry.key(), path))
                continue;
            if (failed.contains(entry.key() + " 2")) {
                size -= entry->size;
                disk -= entry->disk;
            } else if (entry->type == "d" && duLeavesOutDirectoryLengths() && described.contains(entry.key())
                       && !directories.contains(placeOf.value(entry.key()))) {
                directories.insert(placeOf.value(entry.key()));
                size += entry->size;
            }
        }
        QVERIFY2(directory->size == size && directory->disk == disk,
                 qPrintable(path + ": " + QByteArray::number(directory->size) + ' ' + QByteArray::number(directory->disk)
                            + ", du -s: " + QByteArray::number(size) + ' ' + QByteArray::number(disk)));
        if (!failed.isEmpty())
            continue;
        // Shared: each file here with fewer of its names here than it has.
        QMap<QByteArray, uint> namesHere;
        for (auto name = nameOf.cbegin(); name != nameOf.cend(); ++name)
            namesHere[*name] += name.key() == path || isBelow(name.key(), path);
        QSet<QByteArray> counted;
        quint64 sharedSize = 0;
        quint64 sharedDisk = 0;
        for (auto place = placeOf.cbegin(); place != placeOf.cend(); ++place) {
            if ((place.key() != path && !isBelow(place.key(), path)) || counted.contains(*place) || !found.contains(place.key()))
                continue;
            const auto notEntered = [&](const QByteArray &above) {
                const QByteArray state = tallied.value(above).state;
                return (state == "loop" || state == "pseudo" || state == "other")
                       && (place.key() == above || isBelow(place.key(), above));
            };
            if (std::any_of(tallied.keyBegin(), tallied.keyEnd(), notEntered))
                continue;
            counted.insert(*place);
            if (namesHere.value(*place) < linksOf.value(*place)) {
                sharedSize += found[place.key()].size;
                sharedDisk += found[place.key()].disk;
            }
        }
        QVERIFY2(directory->sharedSize == sharedSize && directory->sharedDisk == sharedDisk,
                 qPrintable(path + " shares " + QByteArray::number(directory->sharedSize) + ' '
                            + QByteArray::number(directory->sharedDisk) + ", counted apart: " + QByteArray::number(sharedSize)
                            + ' ' + QByteArray::number(sharedDisk)));
    }

    if (!countsLikeFind)
        return;
    for (auto directory = tallied.cbegin(); directory != tallied.cend(); ++directory) {
        if (directory->state != "-")
            continue;
        uint folders = 0;
        uint files = 0;
        for (auto entry = found.cbegin(); entry != found.cend(); ++entry) {
            if (isBelow(entry.key(), directory.key()))
                ++(entry->type == "d" ? folders : files);
        }
        for (auto loop = tallied.cbegin(); loop != tallied.cend(); ++loop)
            folders += loop->state == "loop" && isBelow(loop.key(), directory.key());
        QCOMPARE(directory->folders, folders);
        QCOMPARE(directory->files, files);
    }
}

QTEST_GUILESS_MAIN(tst_Walks)
#include "tst_walks.moc"
