#include "childprocess.h"
#include "hangingmount.h"
#include "loopdisk.h"
#include "openerstandin.h"
#include "sanitizers.h"
#include "scratchdirectory.h"
#include "testtree.h"
#include "velmora.h"

#include <QLineEdit>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <chrono>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace {

const QByteArray errorLine = "ERROR: Invalid File Path In Count Num Files and Folders Function\n";

struct Result
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs velmora-map with standard error a pipe, not a terminal.
Result velmoraMap(const QStringList &arguments, const std::function<void()> &inChild = {},
                  const QString &program = QStringLiteral(VELMORA_MAP))
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// strace's options for a velmora-map it runs: LeakSanitizer cannot look for
// leaks in a traced process.
QStringList withoutLeakCheck()
{
    if (!underAddressSanitizer)
        return {};
    return {"-E", "ASAN_OPTIONS=" + qEnvironmentVariable("ASAN_OPTIONS") + ":detect_leaks=0"};
}

// A copy of velmora-map in `folder`, which nobody may run wherever the
// build is; empty when it cannot be made.
QString copyNobodyCanRun(const QByteArray &folder)
{
    return copyNobodyCanRun(QStringLiteral(VELMORA_MAP), folder);
}

void asNobody()
{
    if (!dropRoot())
        ::_exit(100);
}

// Runs velmora-map with arguments that are bytes, not necessarily text, and
// only the environment given (besides PATH).
Result velmoraMapWithBytes(QList<QByteArray> arguments, QList<QByteArray> environment)
{
    ScratchDirectory capture;
    if (!capture.isValid())
        return {};
    const QByteArray out = capture.path() + "/out";
    const QByteArray err = capture.path() + "/err";
    arguments.prepend(VELMORA_MAP);
    environment << "PATH=" + qgetenv("PATH");
    const int status = runInChild([&] {
        std::vector<char *> argv;
        for (QByteArray &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<char *> envp;
        for (QByteArray &variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        if (!std::freopen(out.constData(), "w", stdout) || !std::freopen(err.constData(), "w", stderr))
            return 126;
        ::execve(VELMORA_MAP, argv.data(), envp.data());
        return 127;
    });
    return {status, fileContents(out), fileContents(err)};
}

// The report the window writes for `root`, mapped as `directoriesOnly` says.
QByteArray windowReport(const QString &root, const QString &output, bool directoriesOnly)
{
    Velmora window;
    window.findChild<QLineEdit *>("rootDirectoryLineEdit")->setText(root);
    window.findChild<QLineEdit *>("outputFileLineEdit")->setText(output);
    window.findChild<QRadioButton *>(directoriesOnly ? "directoryOnlyRadioButton" : "radioButton_2")->setChecked(true);
    // The run goes on in the event loop; the bound only keeps one that never
    // ends from hanging the suite.
    QEventLoop running;
    QObject::connect(&window.mapRun(), &MapRun::finished, &running, &QEventLoop::quit);
    QTimer::singleShot(std::chrono::minutes(2), &running, &QEventLoop::quit);
    window.findChild<QPushButton *>("mapButton")->click();
    if (window.mapRun().isRunning())
        running.exec();
    return fileContents(output);
}

// Reads a JSON report with Python's json module or with jq and lists it one
// entry a line, depth first: the header, then "DEPTH TYPE NAME-BYTES", with
// " contents" where the entry has contents and " reason=..." where it has a
// reason. Names are given by their bytes in decimal, from "name_bytes" where
// present, so that they can be set against the names on disk.
const char pythonLister[] = R"py(
import json, sys
document = json.loads(sys.stdin.buffer.read().decode("utf-8"))
def name(entry):
    return bytes(entry["name_bytes"]) if "name_bytes" in entry else entry["name"].encode("utf-8")
def show(entry, depth):
    line = [str(depth), entry["type"], ",".join(str(byte) for byte in name(entry))]
    line += ["contents"] if "contents" in entry else []
    line += ["reason=" + entry["reason"]] if "reason" in entry else []
    print(" ".join(line))
    for inner in entry.get("contents", []):
        show(inner, depth + 1)
print(document["format_version"], document["folders"], document["files"], json.dumps(document["files_listed"]))
show(document["tree"], 0)
)py";

const char jqLister[] = R"jq(
def utf8: explode | map(if . < 128 then [.]
    elif . < 2048 then [192 + (. / 64 | floor), 128 + . % 64]
    elif . < 65536 then [224 + (. / 4096 | floor), 128 + (. / 64 | floor) % 64, 128 + . % 64]
    else [240 + (. / 262144 | floor), 128 + (. / 4096 | floor) % 64, 128 + (. / 64 | floor) % 64, 128 + . % 64] end)
    | add // [];
def show($depth): ([($depth | tostring), .type, (.name_bytes // (.name | utf8) | map(tostring) | join(","))]
    + (if has("contents") then ["contents"] else [] end)
    + (if has("reason") then ["reason=" + .reason] else [] end) | join(" ")),
    (.contents[]? | show($depth + 1));
"\(.format_version) \(.folders) \(.files) \(.files_listed)", (.tree | show(0))
)jq";

// The same listing from JSON Lines, read a line at a time. Each directory's
// counts are checked against the lines below it.
const char pythonLinesLister[] = R"py(
import json, sys
lines = sys.stdin.buffer.read().decode("utf-8").split("\n")
assert lines[-1] == "", "the last line is ended"
def text_bytes(entry, key):
    return bytes(entry[key + "_bytes"]) if key + "_bytes" in entry else entry[key].encode("utf-8")
def show(depth, kind, name, entry):
    line = [str(depth), kind, ",".join(str(byte) for byte in name)]
    if kind == "directory":
        line += ["reason=" + entry["reason"]] if "reason" in entry else ["contents"]
    print(" ".join(line))
head = json.loads(lines[0])
print(head["format_version"], head["folders"], head["files"], json.dumps(head["files_listed"]))
show(0, "directory", text_bytes(head, "root"), head)
entries = [json.loads(line) for line in lines[1:-1]]
for entry in entries:
    path = text_bytes(entry, "path").split(b"/")
    show(len(path), entry["type"], path[-1], entry)
for directory in [head] + [entry for entry in entries if entry["type"] == "directory"]:
    prefix = b"" if directory is head else text_bytes(directory, "path") + b"/"
    below = [entry["type"] for entry in entries if text_bytes(entry, "path").startswith(prefix)]
    if below.count("directory") != directory["folders"] or head["files_listed"] and below.count("file") != directory["files"]:
        print("wrong counts for", prefix)
)py";

const char jqLinesLister[] = R"jq(
def utf8: explode | map(if . < 128 then [.]
    elif . < 2048 then [192 + (. / 64 | floor), 128 + . % 64]
    elif . < 65536 then [224 + (. / 4096 | floor), 128 + (. / 64 | floor) % 64, 128 + . % 64]
    else [240 + (. / 262144 | floor), 128 + (. / 4096 | floor) % 64, 128 + (. / 64 | floor) % 64, 128 + . % 64] end)
    | add // [];
def bytes($key): .[$key + "_bytes"] // (.[$key] | utf8);
def show($depth; $name): [($depth | tostring), .type, ($name | map(tostring) | join(","))]
    + (if .type != "directory" then [] elif has("reason") then ["reason=" + .reason] else ["contents"] end) | join(" ");
input | "\(.format_version) \(.folders) \(.files) \(.files_listed)", (.type = "directory" | show(0; bytes("root"))),
    (inputs | bytes("path") as $path | ($path | indices(47)) as $slashes
        | show(($slashes | length) + 1; $path[(($slashes | last) // -1) + 1:]))
)jq";

// "DEPTH TYPE NAME-BYTES FLAG SIZES" for each entry of an export in ncdu's
// format (argument "ncdu") or of JSON Lines (argument "jsonl"), the flag
// being the one the export gives for the JSON Lines' reason, or "-"; then,
// where sizes were read, "total DEPTH NAME-BYTES SIZES" for each directory:
// what ncdu shows, each inode with several links counted once in each
// directory that holds one (as its manual says), or what the JSON Lines
// say. JSON Lines need the root and "-L" or "-P" too: a folder met before in
// the same walk, by device and inode, is written without a size.
const char ncduLister[] = R"py(
import json, os, sys
text = sys.stdin.buffer.read().decode("utf-8", "surrogateescape")
def out(depth, kind, name, flag, sizes):
    print(depth, kind, ",".join(str(byte) for byte in name.encode("utf-8", "surrogateescape")), flag, sizes)
def flag_of(info):
    if "excluded" in info:
        # ncdu 1.18 reads "otherfs", as its format says, and writes "othfs".
        return "excluded=" + {"othfs": "otherfs"}.get(info["excluded"], info["excluded"])
    return "read_error" if info.get("read_error") else "-"
sized = sys.argv[2] == "sizes"
def sizes_of(info, size, disk):
    # ncdu leaves out a size of 0 when it exports a map again: no size and
    # a size of 0 are one.
    if not sized or not info.get(size, 0) and not info.get(disk, 0):
        return "-"
    return "%d,%d" % (info.get(size, 0), info.get(disk, 0))
# What a pattern left out, which the JSON maps leave out, is listed at the end.
patterns = []
totals = []
def show(entry, depth, device):
    info = entry[0] if isinstance(entry, list) else entry
    device = info.get("dev", device)
    own = [info.get("asize", 0), info.get("dsize", 0)]
    linked = {}
    if info.get("hlnkc"):
        linked[(device, info["ino"])], own = own, [0, 0]
    if isinstance(entry, list) or info.get("excluded") in ("othfs", "kernfs", "frmlnk"):
        out(depth, "directory", info["name"], flag_of(info), sizes_of(info, "asize", "dsize"))
        total = len(totals)
        totals.append(None)
        for inner in entry[1:] if isinstance(entry, list) else []:
            inner_own, inner_linked = show(inner, depth + 1, device)
            own = [own[0] + inner_own[0], own[1] + inner_own[1]]
            for key, sizes in inner_linked.items():
                linked.setdefault(key, sizes)
        totals[total] = (depth, info["name"], "%d,%d" % (own[0] + sum(a for a, d in linked.values()),
                                                         own[1] + sum(d for a, d in linked.values())))
    elif info.get("excluded") == "pattern":
        patterns.append((depth, info["name"]))
    else:
        out(depth, "file", info["name"], flag_of(info), sizes_of(info, "asize", "dsize"))
    return own, linked
if sys.argv[1] == "ncdu":
    document = json.loads(text)
    assert document[:2] == [1, 2], "version 1.2"
    show(document[3], 0, None)
    totals, patterns = totals + [(depth, name, None) for depth, name in patterns], []
else:
    root, follow = sys.argv[3], sys.argv[4] == "-L"
    flags = {"loop": "excluded=frmlnk", "pseudo file system": "excluded=kernfs", "other file system": "excluded=otherfs"}
    def flag(entry):
        if entry.get("counted_elsewhere") and entry.get("reason") in ("pseudo file system", "other file system"):
            return "counted elsewhere, never entered"
        reason = entry.get("reason", entry.get("metadata_reason", "-"))
        return "read_error" if reason.startswith("unreadable: ") else flags.get(reason, reason)
    lines = text.split("\n")[:-1]
    head = json.loads(lines[0])
    entries = []
    for line in lines[1:]:
        entry = json.loads(line)
        path = bytes(entry["path_bytes"]).decode("utf-8", "surrogateescape") if "path_bytes" in entry else entry["path"]
        entries.append(("/" + path, entry))
    # A folder listed but not searched is written as ncdu writes a folder
    # it cannot enter: flagged, and nothing below it. What adds nothing has
    # no size: a folder not entered, which is not met either; a folder met
    # before by device and inode, through a link or a mount, which is
    # "frmlnk" with nothing below it; and with -L, a link that leads nowhere.
    # A file met before has its size, and ncdu counts it once in each folder.
    unsearched = {path.rsplit("/", 1)[0] for path, entry in entries
                  if entry.get("metadata_reason") == "unreadable: Permission denied"}
    def described(path):
        try:
            return os.stat(root + path, follow_symlinks=follow), True
        except OSError:
            return os.lstat(root + path), False
    met = {(described("")[0].st_dev, described("")[0].st_ino)}
    passed = set()
    def total(entry):
        return "%d,%d" % (entry.get("total_size", 0), entry.get("total_disk", 0))
    out(0, "directory", head["root"], "read_error" if "" in unsearched else flag(head), sizes_of(head, "size", "disk"))
    totals.append((0, head["root"], total(head)))
    for path, entry in entries:
        if any(path.startswith(folder + "/") for folder in unsearched | passed):
            continue
        depth, name, kind = path.count("/"), path.split("/")[-1], entry["type"]
        shown = "read_error" if path in unsearched else flag(entry)
        sizes = sizes_of(entry, "size", "disk")
        if sized and "size" in entry:
            status, reached = described(path)
            identity = (status.st_dev, status.st_ino)
            entered = entry.get("reason", "unreadable").startswith("unreadable")
            if kind == "directory" and entered and identity in met:
                passed.add(path)
                shown = "excluded=frmlnk"
            if not entered or not reached or path in passed:
                sizes = "-"
            if entered:
                met.add(identity)
        out(depth, kind, name, shown, sizes)
        if kind == "directory":
            totals.append((depth, name, total(entry)))
for depth, name, sizes in totals:
    if sizes is None:
        out(depth, "excluded", name, "pattern", "-")
    elif sized:
        out(depth, "total", name, "-", sizes)
)py";

// Prints each key that an object of the JSON document read from standard
// input holds twice.
const char duplicateKeyFinder[] = R"py(
import json, sys
def checked(pairs):
    keys = [key for key, _ in pairs]
    for key in sorted(set(key for key in keys if keys.count(key) > 1)):
        print("twice:", key)
    return dict(pairs)
json.loads(sys.stdin.buffer.read().decode("utf-8", "surrogateescape"), object_pairs_hook=checked)
)py";

// Holds each directory of a JSON map (argv[2]: "json" or "jsonl") of
// argv[1] against find and du on the disk, links followed or not as
// argv[3] ("-L" or "-P") says: the folders and files of its subtree, and,
// where sizes were read, its totals as du sums them in one pass, each file
// once. Prints each difference, and the number of directories compared.
const char directoryChecker[] = R"py(
import json, os, subprocess, sys, tempfile
root, kind, links = sys.argv[1:4]
text = sys.stdin.read()
directories = {}
if kind == "json":
    def visit(entry, path):
        if entry["type"] == "directory":
            directories[path] = entry
            for inner in entry.get("contents", []):
                visit(inner, os.path.join(path, inner["name"]))
    visit(json.loads(text)["tree"], root)
else:
    lines = text.splitlines()
    directories[root] = json.loads(lines[0])
    for line in lines[1:]:
        entry = json.loads(line)
        if entry["type"] == "directory":
            directories[os.path.join(root, entry["path"])] = entry
# Each directory as du -s counts it alone.
def du(*options):
    return {path: int(subprocess.run(["du", "-s", "-B1", links, *options, path], capture_output=True, check=True,
                                     text=True).stdout.split("\t")[0]) for path in directories}
apparent, disk = du("--apparent-size"), du()
# du from coreutils 9.2 on leaves a directory's own length out of its
# apparent size; the map counts it, as du -s did before.
with tempfile.TemporaryDirectory() as empty:
    if subprocess.run(["du", "-s", "-B1", "--apparent-size", empty], capture_output=True, text=True).stdout.startswith("0\t"):
        for path, entry in directories.items():
            entered = entry.get("reason", "unreadable").startswith("unreadable")
            if "size" in entry and "total_size" in entry and entered:
                for above in apparent:
                    if path == above or path.startswith(above + "/"):
                        apparent[above] += entry["size"]
def found(path, *test):
    return subprocess.run(["find", links, path, "-mindepth", "1", *test], capture_output=True, check=True).stdout.count(b"\n")
for path, entry in sorted(directories.items()):
    seen = (entry["folders"], entry["files"], entry.get("total_size"), entry.get("total_disk"))
    sized = "total_size" in entry
    disk_says = (found(path, "-type", "d"), found(path, "!", "-type", "d"),
                 apparent[path] if sized else None, disk[path] if sized else None)
    if seen != disk_says:
        print(path, "map:", seen, "disk:", disk_says)
print(len(directories), "directories")
)py";

QByteArray listedBy(const QString &program, const QStringList &arguments, const QByteArray &document)
{
    QProcess process;
    process.start(program, arguments);
    process.write(document);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return "<" + program.toUtf8() + " failed: " + process.readAllStandardError() + ">";
    return process.readAllStandardOutput();
}

QByteArray decimalBytes(const QByteArray &name)
{
    QByteArrayList bytes;
    for (char byte : name)
        bytes << QByteArray::number(uchar(byte));
    return bytes.join(',');
}

// The same listing of the entries below `path`, made from the disk with
// readdir and stat. Directories that others may not read are unreadable to
// nobody; a directory already on the path (device and inode) is a loop.
QByteArray entriesOnDisk(const QByteArray &path, int depth, bool listFiles, bool byNobody,
                         QList<std::pair<dev_t, ino_t>> onPath = {})
{
    struct stat self;
    if (::stat(path.constData(), &self) != 0)
        return "<cannot stat " + path + ">";
    onPath.append({self.st_dev, self.st_ino});
    QByteArray lines;
    for (const QByteArray &name : readdirOrder(path)) {
        const QByteArray inner = path + '/' + name;
        struct stat status;
        const QByteArray line = QByteArray::number(depth) + ' ';
        if (::stat(inner.constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            if (listFiles)
                lines += line + "file " + decimalBytes(name) + '\n';
        } else if (onPath.contains(std::pair(status.st_dev, status.st_ino))) {
            lines += line + "directory " + decimalBytes(name) + " reason=loop\n";
        } else if (byNobody && (status.st_mode & 05) != 05) {
            lines += line + "directory " + decimalBytes(name) + " reason=unreadable: Permission denied\n";
        } else {
            lines += line + "directory " + decimalBytes(name) + " contents\n"
                     + entriesOnDisk(inner, depth + 1, listFiles, byNobody, onPath);
        }
    }
    return lines;
}

// The entries of an HTML report with files, one a line, depth first, as
// "DEPTH TYPE NAME-BYTES" (see pythonLister), after the line
// "FOLDERS FILES". Only for names without markup or references.
QByteArray htmlEntries(const QByteArray &report)
{
    const QRegularExpression counts("Number of Folders: </b>(\\d+)<br><b>Number of Files: </b>(\\d+)<br>");
    const QRegularExpressionMatch counted = counts.match(QString::fromLatin1(report));
    QByteArray lines = counted.captured(1).toLatin1() + ' ' + counted.captured(2).toLatin1() + '\n';
    const QRegularExpression item("<b><li>([^<]*)</li></b><ul>|<li>([^<]*)</li>|</ul>");
    const qsizetype start = report.indexOf("Map</h1><ul>") + 12;
    int depth = 1;
    for (QRegularExpressionMatchIterator items = item.globalMatch(QString::fromLatin1(report), start); items.hasNext();) {
        const QRegularExpressionMatch found = items.next();
        if (found.captured(0) == "</ul>") {
            --depth;
        } else if (found.capturedLength(1) > 0) {
            lines += QByteArray::number(depth++) + " directory " + decimalBytes(found.captured(1).toLatin1()) + '\n';
        } else {
            lines += QByteArray::number(depth) + " file " + decimalBytes(found.captured(2).toLatin1()) + '\n';
        }
    }
    return lines;
}

} // namespace

class tst_MapCommand : public QObject
{
    Q_OBJECT

private slots:
    void writesWhatTheWindowWrites_data();
    void writesWhatTheWindowWrites();
    void reportOnStandardOutput();
    void writesIntoOpenDescriptor_data();
    void writesIntoOpenDescriptor();
    void exitStatus_data();
    void exitStatus();
    void takesPathsAsExactBytes_data();
    void takesPathsAsExactBytes();
    void failedRunKeepsEarlierReport_data();
    void failedRunKeepsEarlierReport();
    void helpAndVersion();
    void outputOpenedAsOneAbsoluteArgument_data();
    void outputOpenedAsOneAbsoluteArgument();
    void terminalOutput_data();
    void terminalOutput();
    void directoriesAsDuAndFindCountThem_data();
    void directoriesAsDuAndFindCountThem();
    void ncduReadsTheMap_data();
    void ncduReadsTheMap();
    void jsonNamesEveryEntry_data();
    void jsonNamesEveryEntry();
    void rulesShapeHtmlAndJsonAlike_data();
    void rulesShapeHtmlAndJsonAlike();
    void sortedCopiesGiveOneReport();
};

void tst_MapCommand::writesWhatTheWindowWrites_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("directoriesOnly");
    QTest::newRow("directories only") << QStringList{} << true;
    QTest::newRow("-f") << QStringList{"-f"} << false;
    QTest::newRow("--files") << QStringList{"--files"} << false;
}

void tst_MapCommand::writesWhatTheWindowWrites()
{
    QFETCH(QStringList, options);
    QFETCH(bool, directoriesOnly);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/a&b.txt", "d:tree/sub", "tree/sub/é", "d:tree/αβ",
                                      "l:tree/αβ/up=..", "l:tree/gone=nowhere", "tree/<i>", "tree/Se\xf1or\r.txt"}));
    const QString here = QFile::decodeName(scratch.path());

    const QByteArray fromWindow = windowReport(here + "/tree", here + "/window.html", directoriesOnly);
    QVERIFY(fromWindow.startsWith("<HTML>"));
    // Relative paths are taken from the working directory, given back
    // before the scratch directory goes.
    const auto restore = qScopeGuard([previous = QDir::currentPath()] { QDir::setCurrent(previous); });
    QDir::setCurrent(here);
    const Result result = velmoraMap(options << "tree" << "command.html");
    QCOMPARE(result.status, 0);
    QCOMPARE(fileContents(here + "/command.html"), fromWindow);
    // Pure ASCII: no browser's guess of a character set changes what it shows.
    QVERIFY(std::all_of(fromWindow.begin(), fromWindow.end(), [](char c) { return uchar(c) < 0x80 && c != '\r'; }));
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.err, QByteArray());
}

void tst_MapCommand::reportOnStandardOutput()
{
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:tree/locked", "tree/locked/x", "tree/y"}));
    QVERIFY(::chmod(scratch.path().constData(), 0755) == 0);
    QVERIFY(::chmod((scratch.path() + "/tree/locked").constData(), 0) == 0);
    const QString tree = QFile::decodeName(scratch.path()) + "/tree";

    // Run as nobody, for whom the locked directory cannot be opened.
    const QString program = copyNobodyCanRun(scratch.path());
    QVERIFY(!program.isEmpty());
    const Result toPipe = velmoraMap({"-f", tree, "-"}, asNobody, program);
    const Result toFile = velmoraMap({"-f", tree, QFile::decodeName(scratch.path()) + ".html"}, asNobody, program);
    ::chmod((scratch.path() + "/tree/locked").constData(), 0755);
    QFile::remove(QFile::decodeName(scratch.path()) + ".html");

    // The fixed error line, then what a script can act on: which directory, and why.
    const QByteArray named = "velmora-map: cannot read directory '" + scratch.path() + "/tree/locked': Permission denied\n";
    QCOMPARE(toPipe.status, 3);
    QCOMPARE(toPipe.err, errorLine + named);
    QByteArray list;
    for (const QByteArray &name : readdirOrder(scratch.path() + "/tree"))
        list += name == "locked" ? "<b><li>locked</li></b><ul></ul>" : "<li>" + name + "</li>";
    QCOMPARE(toPipe.out, "<HTML><h1>Directory Information</h1><b>Number of Folders: </b>1<br><b>Number of Files: </b>1<br>"
                         "<h1>Directory and File Map</h1><ul>" + list + "</ul></HTML>");

    // Written to a file, the error lines go to standard output as the walks print them.
    QCOMPARE(toFile.status, 3);
    QCOMPARE(toFile.out, errorLine);
    QCOMPARE(toFile.err, named);
}

void tst_MapCommand::writesIntoOpenDescriptor_data()
{
    // A shell command: "velmora-map" stands for the program, "@" for the
    // scratch directory, which holds @/tree and @/log, the lines "one" and
    // "two" in it before the command runs. The report is written into the
    // open descriptor its OUTPUT names, where the shell left it.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("before"); // what @/log holds before the report
    QTest::addColumn<QByteArray>("after");  // and after it
    QTest::addColumn<bool>("byNobody");     // for whom @/tree/locked cannot be read

    const QByteArray log = "one\ntwo\n";
    QTest::newRow(">> log") << "velmora-map @/tree /dev/stdout >> @/log" << log << QByteArray() << false;
    QTest::newRow("header and footer") << "{ echo header; velmora-map @/tree /dev/stdout; echo footer; } > @/log"
                                       << QByteArray("header\n") << QByteArray("footer\n") << false;
    QTest::newRow("/dev/stderr") << "{ echo header >&2; velmora-map @/tree /dev/stderr; echo footer >&2; } 2> @/log"
                                 << QByteArray("header\n") << QByteArray("footer\n") << false;
    QTest::newRow("/dev/fd/N") << "{ echo header >&7; velmora-map @/tree /dev/fd/7; echo footer >&7; } 7> @/log"
                               << QByteArray("header\n") << QByteArray("footer\n") << false;
    QTest::newRow("/proc/self/fd/N, appending") << "velmora-map @/tree /proc/self/fd/7 7>> @/log" << log << QByteArray() << false;
    QTest::newRow("/proc/thread-self/fd/N") << "velmora-map @/tree /proc/thread-self/fd/1 >> @/log" << log << QByteArray() << false;
    QTest::newRow("/proc/PID/fd/N of its own") << "exec velmora-map @/tree /proc/$$/fd/1 >> @/log" << log << QByteArray() << false;
    QTest::newRow("a link to /dev/stdout") << "ln -s /dev/stdout @/latest && velmora-map @/tree @/latest >> @/log" << log
                                           << QByteArray() << false;
    QTest::newRow("JSON") << "velmora-map --format=json @/tree /dev/stdout >> @/log" << log << QByteArray() << false;
    // Its error line goes to standard error then, as with "-", out of the report.
    QTest::newRow("a directory that cannot be read")
        << "velmora-map @/tree /dev/stdout >> @/log" << log << QByteArray() << true;
    // Into standard error's file, every message goes to standard output,
    // here the test's standard error.
    QTest::newRow("/dev/stderr, a directory that cannot be read")
        << "{ echo header >&2; velmora-map @/tree /dev/stderr; s=$?; echo footer >&2; exit $s; } 3>&2 2> @/log >&3"
        << QByteArray("header\n") << QByteArray("footer\n") << true;
}

void tst_MapCommand::writesIntoOpenDescriptor()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(bool, byNobody);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/a", "d:tree/sub", "d:tree/locked"}));
    QVERIFY(::chmod(scratch.path().constData(), 0755) == 0);
    QVERIFY(::chmod((scratch.path() + "/tree/locked").constData(), 0700) == 0);
    const QString here = QFile::decodeName(scratch.path());
    QVERIFY(writeFileContents(here + "/log", "one\ntwo\n"));
    QVERIFY(QFile::setPermissions(here + "/log", QFile::permissions(here + "/log") | QFile::WriteOther));
    const QString program = byNobody ? copyNobodyCanRun(scratch.path()) : QStringLiteral(VELMORA_MAP);
    QVERIFY(!program.isEmpty());
    const std::function<void()> inChild = byNobody ? asNobody : nullptr;
    // The same run into "-": its report, status and standard error.
    QStringList format = command.contains("--format=json") ? QStringList{"--format=json"} : QStringList{};
    const Result plain = velmoraMap(format << here + "/tree" << "-", inChild, program);
    QCOMPARE(plain.status, byNobody ? 3 : 0);

    command.replace("velmora-map", "'" + program + "'").replace("@", here);
    QProcess shell;
    if (inChild)
        shell.setChildProcessModifier(inChild);
    shell.start("sh", {"-c", command});
    QVERIFY(shell.waitForFinished(60000));
    QCOMPARE(shell.exitCode(), plain.status);
    QCOMPARE(shell.readAllStandardError(), plain.err);
    QCOMPARE(fileContents(here + "/log"), before + plain.out + after);
    QStringList left = QDir(here).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.removeOne("latest");
    left.removeOne("velmora-map");
    QCOMPARE(left, (QStringList{"log", "tree"}));
}

void tst_MapCommand::exitStatus_data()
{
    // "@" stands for the scratch directory. A row that starts with another
    // command runs velmora-map, named "velmora-map" there, under it.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");       // expected in standard error; "" for none at all
    QTest::addColumn<bool>("byNobody");         // run as nobody, for whom @/locked is closed

    QTest::newRow("written") << QStringList{"@/tree", "@/out.html"} << 0 << "" << false;
    QTest::newRow("no arguments") << QStringList{} << 2 << "expected ROOT and OUTPUT" << false;
    QTest::newRow("one argument") << QStringList{"@/tree"} << 2 << "expected ROOT and OUTPUT" << false;
    QTest::newRow("three arguments") << QStringList{"@/tree", "a", "b"} << 2 << "too many arguments: 'b' after ROOT and OUTPUT"
                                     << false;
    QTest::newRow("four arguments, an option among them") << QStringList{"@/tree", "a", "b", "-f", "c d"} << 2
                                                          << "too many arguments: 'b' 'c d' after ROOT and OUTPUT" << false;
    QTest::newRow("unknown option") << QStringList{"--deep", "@/tree", "@/out.html"} << 2
                                    << "unrecognized option '--deep'" << false;
    QTest::newRow("unknown short option") << QStringList{"-qz", "@/tree", "@/out.html"} << 2 << "invalid option -- 'z'" << false;
    QTest::newRow("option given a value") << QStringList{"--files=yes", "@/tree", "@/out.html"} << 2
                                          << "option '--files' doesn't allow an argument" << false;
    QTest::newRow("ambiguous abbreviation") << QStringList{"--ex=x", "@/tree", "@/out.html"} << 2
                                            << "option '--ex=x' is ambiguous; possibilities: '--exclude' '--exclude-from'\n"
                                            << false;
    QTest::newRow("ambiguous abbreviation without a value")
        << QStringList{"@/tree", "--f", "@/out.html"} << 2 << "option '--f' is ambiguous; possibilities: '--files' '--format'\n"
        << false;
    QTest::newRow("unique abbreviation") << QStringList{"--exclude-f=@/rules", "--fo=html", "@/tree", "@/out.html"} << 0 << ""
                                         << false;
    QTest::newRow("options after the paths") << QStringList{"@/tree", "@/out.html", "-qf"} << 0 << "" << false;
    QTest::newRow("-- ends the options") << QStringList{"-q", "--", "@/tree", "@/out.html"} << 0 << "" << false;
    QTest::newRow("missing root") << QStringList{"@/nowhere", "@/out.html"} << 2
                                  << "cannot map '@/nowhere': No such file or directory" << false;
    QTest::newRow("root is a file") << QStringList{"@/tree/f", "@/out.html"} << 2 << "cannot map '@/tree/f': Not a directory" << false;
    QTest::newRow("empty root") << QStringList{"", "@/out.html"} << 2 << "cannot map '': No such file or directory" << false;
    QTest::newRow("root name too long") << QStringList{"@/" + QString(5000, 'n'), "@/out.html"} << 2
                                        << ": File name too long" << false;
    QTest::newRow("output into a missing folder") << QStringList{"@/tree", "@/no/out.html"} << 1
                                                  << "cannot write '@/no/out.html': No such file or directory" << false;
    QTest::newRow("output is a directory") << QStringList{"@/tree", "@/tree"} << 1 << "cannot write '@/tree': Is a directory" << false;
    QTest::newRow("empty output") << QStringList{"@/tree", ""} << 1 << "cannot write '': No file name specified" << false;
    QTest::newRow("output on a full device") << QStringList{"@/tree", "/dev/full"} << 1
                                             << "cannot write '/dev/full': No space left on device" << false;
    QTest::newRow("output into /dev/null") << QStringList{"@/tree", "/dev/null"} << 0 << "" << false;
    QTest::newRow("output into /dev/stdout, a pipe") << QStringList{"@/tree", "/dev/stdout"} << 0 << "" << false;
    QTest::newRow("output into a descriptor that is not open") << QStringList{"@/tree", "/dev/fd/250"} << 1
                                                               << "cannot write '/dev/fd/250': Bad file descriptor" << false;
    QTest::newRow("output is a file followed by a slash") << QStringList{"@/tree", "@/tree/f/"} << 1
                                                          << "cannot write '@/tree/f/': Not a directory" << false;
    QTest::newRow("root behind a closed folder") << QStringList{"@/locked/tree", "@/out.html"} << 2
                                                 << "cannot map '@/locked/tree': Permission denied" << true;
    QTest::newRow("root that cannot be read") << QStringList{"@/locked", "@/out.html"} << 2
                                              << "cannot map '@/locked': Permission denied" << true;
    // Its links are listed, not followed, so that the map ends.
    QTest::newRow("root on proc") << QStringList{"-f", "/proc/self", "@/out.html"} << 0 << "" << false;
    // A failing disk: the listing of @/tree/sub ends in an error after its
    // entries (one walk, so that the calls come in a known order: two to
    // count the open descriptors, two for @/tree, two for @/tree/sub).
    QTest::newRow("listing that fails part way")
        << QStringList{"strace", "-f", "-qqq", "-o", "/dev/null", "-e", "inject=getdents64:error=EIO:when=6",
                       "prlimit", "--nofile=8:8", "velmora-map", "@/tree", "@/out.html"}
        << 3 << "cannot read directory '@/tree/sub': Input/output error" << false;
    // Some file systems cannot rename over a file that exists: the report is copied into it instead.
    QTest::newRow("rename over an existing file refused")
        << QStringList{"strace", "-f", "-qqq", "-o", "/dev/null", "-e", "inject=rename:error=EEXIST", "velmora-map", "@/tree",
                       "@/tree/f"}
        << 0 << "" << false;
    QTest::newRow("--sizes with the HTML report") << QStringList{"--sizes", "@/tree", "@/out.html"} << 2
                                                  << "--sizes: the HTML report shows no sizes" << false;
    // One walk, so that the calls come in a known order: the root's, then
    // its first entry's.
    QTest::newRow("--sizes, an entry removed before its size is read")
        << QStringList{"strace", "-f", "-qqq", "-o", "/dev/null", "-e", "inject=statx:error=ENOENT:when=2", "prlimit",
                       "--nofile=8:8", "velmora-map", "--sizes", "--format=json", "@/tree", "@/out.html"}
        << 3 << "cannot read the size of '@/tree/" << false;
    QTest::newRow("--help-all is not offered") << QStringList{"--help-all"} << 2 << "unrecognized option '--help-all'" << false;
    QTest::newRow("--open with standard output") << QStringList{"--open", "@/tree", "-"} << 2 << "--open needs an OUTPUT file" << false;
    QTest::newRow("--format=json") << QStringList{"--format=json", "@/tree", "@/out.html"} << 0 << "" << false;
    QTest::newRow("--format html") << QStringList{"--format", "html", "@/tree", "@/out.html"} << 0 << "" << false;
    QTest::newRow("unknown format") << QStringList{"--format=xml", "@/tree", "@/out.html"} << 2
                                    << "invalid argument 'xml' for '--format'" << false;
    QTest::newRow("format in capitals") << QStringList{"--format=JSON", "@/tree", "@/out.html"} << 2
                                        << "invalid argument 'JSON' for '--format'" << false;
    QTest::newRow("format without a value") << QStringList{"@/tree", "@/out.html", "--format"} << 2
                                            << "option '--format' requires an argument" << false;
    QTest::newRow("JSON into a missing folder") << QStringList{"--format=json", "@/tree", "@/no/out.html"} << 1
                                                << "cannot write '@/no/out.html': No such file or directory" << false;
    QTest::newRow("JSON on a full device") << QStringList{"--format=json", "@/tree", "/dev/full"} << 1
                                           << "cannot write '/dev/full': No space left on device" << false;
    QTest::newRow("--format=browse") << QStringList{"--format=browse", "-f", "@/tree", "@/out.html"} << 0 << "" << false;
    QTest::newRow("page on a full device") << QStringList{"--format=browse", "@/tree", "/dev/full"} << 1
                                           << "cannot write '/dev/full': No space left on device" << false;
    QTest::newRow("-x and -P") << QStringList{"-xP", "@/tree", "@/out.html"} << 0 << "" << false;
    QTest::newRow("every rule, long options")
        << QStringList{"--one-file-system", "--no-follow", "--sort=name", "--exclude=f", "@/tree", "@/out.html"} << 0 << ""
        << false;
    QTest::newRow("--sort=version") << QStringList{"--sort=version", "@/tree", "@/out.html"} << 0 << "" << false;
    QTest::newRow("unknown order") << QStringList{"--sort=size", "@/tree", "@/out.html"} << 2
                                   << "invalid argument 'size' for '--sort'" << false;
    QTest::newRow("order without a value") << QStringList{"@/tree", "@/out.html", "--sort"} << 2
                                           << "option '--sort' requires an argument" << false;
    QTest::newRow("a pattern that matched nothing")
        << QStringList{"--exclude=/home/ana/x", "--exclude=f", "@/tree", "@/out.html"} << 0
        << "exclude pattern '/home/ana/x' matched nothing" << false;
    QTest::newRow("a pattern matched only below an excluded directory")
        << QStringList{"--exclude=sub/", "--exclude=g", "@/tree", "@/out.html"} << 0 << "exclude pattern 'g' matched nothing"
        << false;
    // @/rules holds comments, a blank line and CR LF line ends around "- f" and "sub/".
    QTest::newRow("an exclude file") << QStringList{"--exclude-from=@/rules", "@/tree", "@/out.html"} << 0 << "" << false;
    // @/zero-rules holds "f", then a zero byte and more, and a line that starts with a zero byte.
    QTest::newRow("a zero byte ends a pattern") << QStringList{"--exclude-from=@/zero-rules", "@/tree", "@/out.html"} << 0 << ""
                                                << false;
    QTest::newRow("exclude patterns from standard input")
        << QStringList{"sh", "-c", "exec \"$0\" --exclude-from=- \"$1\" \"$2\" < @/rules", "velmora-map", "@/tree", "@/out.html"}
        << 0 << "" << false;
    QTest::newRow("! drops the patterns before it")
        << QStringList{"--exclude=/nowhere", "--exclude-from=@/rules", "--exclude=!", "--exclude=f", "@/tree", "@/out.html"}
        << 0 << "" << false;
    QTest::newRow("an include rule") << QStringList{"--exclude=+ f", "@/tree", "@/out.html"} << 2
                                     << "'+ f': include rules are not supported" << false;
    QTest::newRow("a rule without a pattern") << QStringList{"--exclude-from=@/empty-rule", "@/tree", "@/out.html"} << 2
                                              << "'- ' (line 2 of '@/empty-rule'): an exclude rule needs a pattern" << false;
    QTest::newRow("a missing exclude file") << QStringList{"--exclude-from=@/missing", "@/tree", "@/out.html"} << 2
                                            << "cannot read exclude patterns from '@/missing': No such file or directory"
                                            << false;
    QTest::newRow("an exclude file that is a directory") << QStringList{"--exclude-from=@/tree", "@/tree", "@/out.html"} << 2
                                                         << "cannot read exclude patterns from '@/tree': Is a directory"
                                                         << false;
    QTest::newRow("an exclude file that cannot be read")
        << QStringList{"--exclude-from=@/locked/tree", "@/tree", "@/out.html"} << 2
        << "cannot read exclude patterns from '@/locked/tree': Permission denied" << true;
}

void tst_MapCommand::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(bool, byNobody);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/f", "d:tree/sub", "tree/sub/g", "d:locked", "d:locked/tree"}));
    QVERIFY(::chmod(scratch.path().constData(), 0755) == 0 && ::chmod((scratch.path() + "/locked").constData(), 0700) == 0);
    const QString here = QFile::decodeName(scratch.path());
    QVERIFY(writeFileContents(here + "/rules", "# skipped\r\n;skipped too\r\n\r\n- f\r\nsub/\n"));
    QVERIFY(writeFileContents(here + "/zero-rules", QByteArray("f\0never matched\n\0g\n", 19)));
    QVERIFY(writeFileContents(here + "/empty-rule", "f\n- \n"));
    arguments.replaceInStrings("@", here);
    message.replace("@", here);
    QString program = QStringLiteral(VELMORA_MAP);
    if (const qsizetype named = arguments.indexOf("velmora-map"); named > 0) {
        QStringList wrapper = arguments.mid(0, named);
        program = wrapper.takeFirst();
        if (QProcess::execute(program, wrapper << "true") != 0)
            QSKIP(qPrintable(arguments.mid(0, named).join(' ') + " cannot run here"));
        arguments = arguments.mid(1);
        arguments[named - 1] = QStringLiteral(VELMORA_MAP);
        if (program == "strace")
            arguments = withoutLeakCheck() + arguments;
    }

    const Result result = byNobody ? velmoraMap(arguments, asNobody, copyNobodyCanRun(scratch.path()))
                                   : velmoraMap(arguments, {}, program);
    QCOMPARE(result.status, status);
    if (message.isEmpty())
        QCOMPARE(result.err, QByteArray());
    else
        QVERIFY2(result.err.startsWith("velmora-map: ") && result.err.contains(message.toUtf8()), result.err.constData());
    QCOMPARE(QFile::exists(here + "/out.html"), (status == 0 || status == 3) && arguments.contains(here + "/out.html"));
    if (status == 0 && arguments.last() == here + "/tree/f") {
        QVERIFY(fileContents(here + "/tree/f").startsWith("<HTML>"));
        QCOMPARE(QDir(here + "/tree").entryList(QDir::Files | QDir::Hidden), QStringList{"f"});
    }
}

void tst_MapCommand::takesPathsAsExactBytes_data()
{
    QTest::addColumn<QByteArray>("root");   // below the scratch directory, which holds "caf\xe9/x"
    QTest::addColumn<QByteArray>("output"); // likewise
    QTest::addColumn<QByteArray>("locale"); // LC_ALL; "" for no locale variable at all
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("message");

    const QByteArray latin = "caf\xe9";
    const QByteArray report = "out-\xe9.html";
    QTest::newRow("C locale") << latin << report << QByteArray("C") << 0 << QByteArray();
    QTest::newRow("C.UTF-8 locale") << latin << report << QByteArray("C.UTF-8") << 0 << QByteArray();
    QTest::newRow("no locale") << latin << report << QByteArray() << 0 << QByteArray();
    QTest::newRow("missing root named by its bytes")
        << QByteArray("\xff") << report << QByteArray("C") << 2 << QByteArray("cannot map '@/\xff': No such file or directory");
    QTest::newRow("output folder named by its bytes")
        << latin << QByteArray("\xfe/out.html") << QByteArray("C") << 1
        << QByteArray("cannot write '@/\xfe/out.html': No such file or directory");
}

void tst_MapCommand::takesPathsAsExactBytes()
{
    QFETCH(QByteArray, root);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, locale);
    QFETCH(int, status);
    QFETCH(QByteArray, message);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:caf\xe9", "caf\xe9/x"}));
    const QByteArray here = scratch.path();
    const Result result = velmoraMapWithBytes({"-f", here + '/' + root, here + '/' + output},
                                              locale.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{"LC_ALL=" + locale});

    QCOMPARE(result.status, status);
    QVERIFY2(message.isEmpty() ? result.err.isEmpty() : result.err.contains(message.replace('@', here)), result.err.constData());
    const QList<QByteArray> names = readdirOrder(here);
    QCOMPARE(names.contains(output), status == 0);
    if (status == 0) {
        QCOMPARE(names.size(), 2);
        QVERIFY(fileContents(here + '/' + output).endsWith("<ul><li>x</li></ul></HTML>"));
    }
}

void tst_MapCommand::failedRunKeepsEarlierReport_data()
{
    QTest::addColumn<int>("resource"); // the limit set for velmora-map
    QTest::addColumn<int>("limit");    // 0 for none
    QTest::addColumn<QByteArray>("root"); // below the scratch directory; "big" has a report of over 1 MiB
    QTest::addColumn<QByteArray>("message"); // how standard error begins; "@" stands for the scratch directory
    QTest::addColumn<QByteArray>("folder");  // of the report: "" the scratch directory; "locked" one that takes
                                             // no new file, run by nobody; "disk" a vfat disk; "fuse" a FUSE
                                             // file system (bindfs)
    QTest::addColumn<QByteArrayList>("faults"); // strace -e inject= specifications
    QTest::addColumn<int>("status");
    // The earlier report is left as it was, unless the message says that it
    // was damaged: then it begins with the new one.

    const int none = 0;
    QTest::newRow("file size limit") << int(RLIMIT_FSIZE) << 1024 << QByteArray("tree")
                                     << QByteArray("cannot write '@/report.html': File too large") << QByteArray()
                                     << QByteArrayList{} << 1;
    QTest::newRow("memory limit") << int(RLIMIT_AS) << (256 << 20) << QByteArray("graph/L0")
                                  << QByteArray("not enough memory to map '@/graph/L0'") << QByteArray() << QByteArrayList{} << 1;
    QTest::newRow("no descriptor to spare") << int(RLIMIT_NOFILE) << 4 << QByteArray("tree")
                                            << QByteArray("cannot map '@/tree': Too many open files") << QByteArray()
                                            << QByteArrayList{} << 1;
    // A stop asked for before the rename is the last chance to keep the earlier report.
    QTest::newRow("interrupted before the rename") << none << 0 << QByteArray("tree") << QByteArray() << QByteArray()
                                                   << QByteArrayList{"fdatasync:signal=SIGINT"} << 130;
    QTest::newRow("in place, interrupted while mapping") << none << 0 << QByteArray("tree") << QByteArray()
                                                         << QByteArray("locked") << QByteArrayList{"write:signal=SIGINT:when=1"}
                                                         << 130;
    QTest::newRow("in place, file size limit") << int(RLIMIT_FSIZE) << 1024 << QByteArray("tree")
                                               << QByteArray("cannot write '@/locked/report.html': File too large in the temporary folder '")
                                               << QByteArray("locked") << QByteArrayList{} << 1;
    QTest::newRow("in place, no space to reserve") << none << 0 << QByteArray("tree")
                                                   << QByteArray("cannot write '@/locked/report.html': No space left on device")
                                                   << QByteArray("locked") << QByteArrayList{"fallocate:error=ENOSPC"} << 1;
    QTest::newRow("in place, no reserving, full disk")
        << none << 0 << QByteArray("tree") << QByteArray("cannot write '@/locked/report.html': No space left on device")
        << QByteArray("locked") << QByteArrayList{"fallocate:error=EOPNOTSUPP", "pwrite64:error=ENOSPC"} << 1;
    // The space is reserved; then the disk fails. The copy goes in pieces of 1 MiB.
    QTest::newRow("in place, disk error at the first write")
        << none << 0 << QByteArray("big") << QByteArray("cannot write '@/locked/report.html': Input/output error\n")
        << QByteArray("locked") << QByteArrayList{"fallocate:retval=0", "pwrite64:error=EIO"} << 1;
    QTest::newRow("in place, disk error during the copy")
        << none << 0 << QByteArray("big")
        << QByteArray("cannot write '@/locked/report.html': Input/output error during the final copy; "
                      "the earlier report is damaged (part old, part new)")
        << QByteArray("locked") << QByteArrayList{"fallocate:retval=0", "pwrite64:error=EIO:when=2"} << 1;
    QTest::newRow("in place, disk error at the sync")
        << none << 0 << QByteArray("tree")
        << QByteArray("cannot write '@/locked/report.html': Input/output error during the final copy; "
                      "the earlier report is damaged (part old, part new)")
        << QByteArray("locked") << QByteArrayList{"fdatasync:error=EIO"} << 1;
    // vfat has no unnamed temporary files: the temporary has a name until the rename.
    QTest::newRow("named temporary, hung up") << none << 0 << QByteArray("tree") << QByteArray() << QByteArray("disk")
                                              << QByteArrayList{"fdatasync:signal=SIGHUP"} << 129;
    QTest::newRow("named temporary, file size limit") << int(RLIMIT_FSIZE) << 1024 << QByteArray("tree")
                                                      << QByteArray("cannot write '@/disk/report.html': File too large")
                                                      << QByteArray("disk") << QByteArrayList{} << 1;
    // Neither has FUSE: a second stop signal, or SIGQUIT, must not end the
    // run with the named temporary left behind.
    QTest::newRow("named temporary, interrupted twice")
        << none << 0 << QByteArray("tree") << QByteArray() << QByteArray("fuse")
        << QByteArrayList{"write:signal=SIGINT:when=1", "unlink:signal=SIGINT"} << 130;
    QTest::newRow("named temporary, quit") << none << 0 << QByteArray("tree") << QByteArray() << QByteArray("fuse")
                                           << QByteArrayList{"write:signal=SIGQUIT:when=1"} << 131;
    QTest::newRow("named temporary, interrupted, then quit")
        << none << 0 << QByteArray("tree") << QByteArray() << QByteArray("fuse")
        << QByteArrayList{"write:signal=SIGINT:when=1", "unlink:signal=SIGQUIT"} << 130;
}

void tst_MapCommand::failedRunKeepsEarlierReport()
{
    QFETCH(int, resource);
    QFETCH(int, limit);
    QFETCH(QByteArray, root);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, folder);
    QFETCH(QByteArrayList, faults);
    QFETCH(int, status);
    if (resource == RLIMIT_AS && underAddressSanitizer)
        QSKIP("AddressSanitizer needs more address space than any limit of this row leaves");

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QList<QByteArray> entries = linkGraph("graph", 40) << "d:tree" << "d:tree/sub" << "d:big";
    for (int i = 0; i < 100; ++i)
        entries << "tree/file-with-a-long-enough-name-" + QByteArray::number(i);
    for (int i = 0; root == "big" && i < 5000; ++i)
        entries << "big/" + QByteArray::number(i).rightJustified(250, 'n');
    QVERIFY(makeTree(scratch.path(), entries));
    const QString here = QFile::decodeName(scratch.path());
    const bool inPlace = folder == "locked";
    std::optional<LoopDisk> disk;
    if (folder == "disk" || folder == "fuse") {
        disk.emplace(scratch.path(), folder == "disk" ? LoopDisk::Vfat : LoopDisk::Fuse);
        if (!disk->isMounted())
            QSKIP(qPrintable("no " + folder + " disk here: " + disk->failure()));
    } else if (inPlace && ::geteuid() != 0) {
        QSKIP("needs root to run as nobody");
    } else if (inPlace) {
        QVERIFY(::mkdir((scratch.path() + "/locked").constData(), 0755) == 0);
    }
    const QString reportFolder = disk               ? QFile::decodeName(disk->path())
                                 : folder.isEmpty() ? here
                                                    : here + '/' + QString::fromLatin1(folder);
    const QString output = reportFolder + "/report.html";
    {
        QFile earlier(output);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier");
    }
    if (inPlace) {
        QVERIFY(QFile::setPermissions(output, QFile::permissions(output) | QFile::WriteOther));
        QVERIFY(::chmod(scratch.path().constData(), 0755) == 0 && ::chmod(QFile::encodeName(reportFolder), 0555) == 0);
    }

    QString program = inPlace ? copyNobodyCanRun(scratch.path()) : QStringLiteral(VELMORA_MAP);
    QStringList arguments{"-f", here + '/' + QFile::decodeName(root), output};
    if (!faults.isEmpty()) {
        arguments.prepend(program);
        if (inPlace)
            arguments = QStringList{"-u", "nobody"} + arguments;
        for (const QByteArray &fault : faults)
            arguments = QStringList{"-e", "inject=" + QString::fromLatin1(fault)} + arguments;
        arguments = QStringList{"-f", "-qqq", "-o", "/dev/null"} + arguments;
        arguments = withoutLeakCheck() + arguments;
        program = "strace";
    }
    const Result result = velmoraMap(arguments, [resource, limit, asNobody = inPlace && faults.isEmpty()] {
        // Only the standard three stay open, whatever runs the test.
        ::close_range(3, ~0U, 0);
        const rlimit few{rlim_t(limit), rlim_t(limit)};
        if (limit)
            ::setrlimit(resource, &few);
        if (asNobody && !dropRoot())
            ::_exit(100);
    }, program);
    ::chmod(QFile::encodeName(reportFolder), 0755);
    QCOMPARE(result.status, status);
    if (message.isEmpty())
        QCOMPARE(result.err, QByteArray());
    else
        QVERIFY2(result.err.startsWith("velmora-map: " + message.replace('@', scratch.path())) && result.err.count('\n') == 1,
                 result.err.constData());
    const QByteArray left = fileContents(output);
    if (message.contains("damaged"))
        QVERIFY2(left.startsWith("<HTML>"), left.left(100).constData());
    else
        QCOMPARE(left, QByteArray("earlier"));
    QCOMPARE(QDir(reportFolder).entryList(QDir::Files | QDir::Hidden), QStringList{"report.html"});
}

void tst_MapCommand::helpAndVersion()
{
    for (const char *option : {"-v", "--version"}) {
        const Result result = velmoraMap({QString::fromLatin1(option)});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, QByteArray("velmora-map 1.0.0\n"));
    }
    for (const char *option : {"-h", "--help"}) {
        const Result result = velmoraMap({QString::fromLatin1(option)});
        QCOMPARE(result.status, 0);
        QVERIFY(result.out.startsWith("Usage: velmora-map [OPTION]... ROOT OUTPUT\n"));
        for (const char *mention : {"-f, --files", "--format=FORMAT", "\"name_bytes\"", "| jq ", "--open", "-q, --quiet",
                                    "-v, --version", "standard output", "/dev/fd/N", "129, 130, 131, 143",
                                    "during the final copy", "-x, --one-file-system", "bind\n                       mount",
                                    "-P, --no-follow", "--exclude=PATTERN", "--exclude-from=FILE", "--sort=ORDER",
                                    "velmora-map -x ", "velmora-map -P ", "velmora-map --exclude=",
                                    "velmora-map --exclude-from=", "--sort=name ~", "--format=browse"})
            QVERIFY2(result.out.contains(mention), mention);
    }
    // What cannot be written is not reported as done.
    for (const char *option : {"--help", "--version"}) {
        const Result result = velmoraMap({QString::fromLatin1(option)}, [] { ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); });
        QCOMPARE(result.status, 1);
        QCOMPARE(result.err, QByteArray("velmora-map: write error: No space left on device\n"));
    }
}

void tst_MapCommand::outputOpenedAsOneAbsoluteArgument_data()
{
    QTest::addColumn<QString>("typed");  // the OUTPUT argument; "@" stands for the scratch directory
    QTest::addColumn<QString>("opened"); // what the opener must get; the working directory is @/work
    QTest::addColumn<bool>("noReaper");  // the thread that waits for the opener cannot be started
    QTest::newRow("odd absolute path") << "@/my \"odd\" 'map'; touch pwned $(touch pwned2).html"
                                       << "@/my \"odd\" 'map'; touch pwned $(touch pwned2).html" << false;
    QTest::newRow("relative path") << "map.html" << "@/work/map.html" << false;
    QTest::newRow("relative, leading dash") << "-map.html" << "@/work/-map.html" << false;
    QTest::newRow("no thread to wait for the opener") << "map.html" << "@/work/map.html" << true;
}

void tst_MapCommand::outputOpenedAsOneAbsoluteArgument()
{
    QFETCH(QString, typed);
    QFETCH(QString, opened);
    QFETCH(bool, noReaper);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "d:bin", "d:work"}));
    const QString here = QFile::decodeName(scratch.path());
    typed.replace("@", here);
    opened.replace("@", here);
    OpenerStandIn opener(here + "/bin");

    const auto restore = qScopeGuard([previous = QDir::currentPath()] { QDir::setCurrent(previous); });
    QDir::setCurrent(here + "/work");
    const QStringList arguments{"--open", "--", here + "/tree", typed};
    QStringList traced;
    if (noReaper) {
        // The thread started right after the opener is made to fail: the
        // run, traced once, says which start of a thread or process that is.
        const QString trace = here + "/clones";
        const Result seen = velmoraMap(withoutLeakCheck() + QStringList{"-f", "-qq", "-e", "trace=clone3", "-o", trace, VELMORA_MAP} + arguments,
                                       {}, "strace");
        QCOMPARE(seen.status, 0);
        const QList<QByteArray> clones = fileContents(trace).split('\n');
        const auto spawn = std::find_if(clones.begin(), clones.end(), [](const QByteArray &clone) { return clone.contains("CLONE_VFORK"); });
        QVERIFY(spawn != clones.end() && spawn + 1 != clones.end() && (spawn + 1)->contains("CLONE_THREAD"));
        QTRY_VERIFY(QFile::exists(opener.recordPath()));
        QVERIFY(QFile::remove(opener.recordPath()));
        traced = withoutLeakCheck() + QStringList{"-f", "-qq", "-o", "/dev/null", "-e", "trace=clone3", "-e",
                  QString("inject=clone3:error=EAGAIN:when=%1").arg(spawn - clones.begin() + 2), VELMORA_MAP};
    }
    const Result result = noReaper ? velmoraMap(traced + arguments, {}, "strace") : velmoraMap(arguments);
    QCOMPARE(result.status, 0);
    QTRY_VERIFY(QFile::exists(opener.recordPath()));
    QCOMPARE(opener.record(), (QList<QByteArray>{"1", QFile::encodeName(opened)}));
    QVERIFY(fileContents(opened).startsWith("<HTML>"));
    QVERIFY(!QFile::exists(here + "/pwned") && !QFile::exists(here + "/pwned2") && !QFile::exists(here + "/work/pwned"));
}

void tst_MapCommand::terminalOutput_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("output");     // "@" stands for the scratch directory
    QTest::addColumn<bool>("outputToo");     // standard output on the terminal as well as standard error
    QTest::addColumn<QString>("root");       // below the scratch directory; "locked" is read by nobody;
                                             // "stalled" holds a FUSE mount that no longer answers
    QTest::addColumn<int>("signal");         // sent once progress shows entries, or a walker waits on the mount
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("progressShown");
    QTest::addColumn<bool>("summaryShown");
    QTest::addColumn<QString>("leftOut");     // in the summary, after the counts
    QTest::addColumn<QString>("sizeShown");   // a pattern of what the summary says before the bytes written

    QTest::newRow("progress and summary") << QStringList{} << "@/out.html" << false << "tree" << 0 << 0 << true << true << "" << "";
    QTest::newRow("-q") << QStringList{"-q"} << "@/out.html" << false << "tree" << 0 << 0 << false << false << "" << "";
    QTest::newRow("--quiet") << QStringList{"--quiet"} << "@/out.html" << false << "tree" << 0 << 0 << false << false << "" << "";
    QTest::newRow("report to the same terminal") << QStringList{"-f"} << "-" << true << "tree" << 0 << 0 << false << true << "" << "";
    QTest::newRow("error lines on rows of their own") << QStringList{} << "@/out.html" << true << "locked" << 0 << 3 << true
                                                      << true << "" << "";
    QTest::newRow("interrupted") << QStringList{} << "@/out.html" << false << "graph/L0" << int(SIGINT) << 130 << true << false
                                 << "" << "";
    QTest::newRow("terminated") << QStringList{} << "@/out.html" << false << "graph/L0" << int(SIGTERM) << 143 << true << false
                                << "" << "";
    // A walker waiting on a mount that stopped answering is left behind.
    QTest::newRow("interrupted, a mount hangs") << QStringList{} << "@/out.html" << false << "stalled" << int(SIGINT) << 130
                                                << true << false << "" << "";
    QTest::newRow("terminated, a mount hangs") << QStringList{} << "@/out.html" << false << "stalled" << int(SIGTERM) << 143
                                               << true << false << "" << "";
    QTest::newRow("hung up, a mount hangs") << QStringList{} << "@/out.html" << false << "stalled" << int(SIGHUP) << 129
                                            << true << false << "" << "";
    QTest::newRow("-x, interrupted, a mount hangs") << QStringList{"-x"} << "@/out.html" << false << "stalled" << int(SIGINT)
                                                    << 130 << true << false << "" << "";
    // "mixed" holds x, y and a link to /proc, which is another file system.
    QTest::newRow("what was left out") << QStringList{"-x", "--exclude=[xy]"} << "@/out.html" << false << "mixed" << 0 << 0
                                       << true << true << " (2 excluded, 1 other file system)" << "";
    QTest::newRow("nothing left out") << QStringList{"-x", "--exclude=/nowhere"} << "@/out.html" << false << "tree" << 0 << 0
                                      << true << true << "" << "";
    QTest::newRow("the size of what was read") << QStringList{"--sizes", "--format=jsonl"} << "@/out.html" << false << "tree"
                                               << 0 << 0 << true << true << "" << "apparent size \\d+(\\.\\d [KMG]iB| B); ";
}

void tst_MapCommand::terminalOutput()
{
    QFETCH(QStringList, options);
    QFETCH(QString, output);
    QFETCH(bool, outputToo);
    QFETCH(QString, root);
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(bool, progressShown);
    QFETCH(bool, summaryShown);
    QFETCH(QString, leftOut);
    QFETCH(QString, sizeShown);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), linkGraph("graph", 40) << "d:tree" << "tree/x" << "d:locked" << "d:locked/closed"
                                                             << "d:mixed" << "mixed/x" << "mixed/y" << "l:mixed/proc=/proc"
                                                             << "d:away" << "d:stalled" << "d:stalled/mount"));
    QVERIFY(::chmod(scratch.path().constData(), 0777) == 0 && ::chmod((scratch.path() + "/locked/closed").constData(), 0) == 0);
    const QString here = QFile::decodeName(scratch.path());
    output.replace("@", here);
    const QByteArray earlier = "earlier";
    {
        QFile file(here + "/out.html");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(earlier);
        file.setPermissions(QFile::permissions(here + "/out.html") | QFile::WriteOther);
    }
    const bool byNobody = root == "locked";
    std::optional<HangingMount> mount;
    if (root == "stalled") {
        mount.emplace(scratch.path() + "/away", scratch.path() + "/stalled/mount");
        if (!mount->isMounted())
            QSKIP("needs a FUSE mount: " + mount->failure());
        QVERIFY(mount->stop());
    }

    // The terminal's other side is read here.
    int terminal = -1;
    int child = -1;
    QVERIFY(::openpty(&terminal, &child, nullptr, nullptr, nullptr) == 0);
    ::fcntl(terminal, F_SETFL, O_NONBLOCK);
    QProcess process;
    process.setChildProcessModifier([=] {
        ::dup2(child, STDERR_FILENO);
        if (outputToo)
            ::dup2(child, STDOUT_FILENO);
        if (byNobody)
            asNobody();
    });
    // A thread waiting in the kernel on the mount could not be stopped for the leak check.
    if (mount && underAddressSanitizer) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        process.setProcessEnvironment(environment);
    }
    process.start(byNobody ? copyNobodyCanRun(scratch.path()) : QStringLiteral(VELMORA_MAP),
                  options << here + '/' + root << output);
    ::close(child);
    QByteArray shown;
    bool signalled = false;
    for (QDeadlineTimer deadline(30000); !deadline.hasExpired();) {
        char buffer[4096];
        for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, got);
        const bool walkUnderWay = mount ? shown.contains("counting") && HangingMount::isWaitedOnBy(pid_t(process.processId()))
                                        : shown.contains("entries");
        if (signal && !signalled && walkUnderWay) {
            ::kill(pid_t(process.processId()), signal);
            signalled = true;
            // It ends at once, whatever its walkers wait for: a run held by
            // a walker would never end, so the bound leaves room for a busy
            // machine rather than timing the run.
            deadline.setRemainingTime(mount ? 10000 : 30000);
        }
        if (process.state() == QProcess::NotRunning || process.waitForFinished(20))
            break;
    }
    char buffer[4096];
    for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, got);
    ::close(terminal);
    ::chmod((scratch.path() + "/locked/closed").constData(), 0755);

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    QCOMPARE(shown.contains("counting"), progressShown);
    // "1 file", never "1 files".
    const auto count = [](const QString &what) { return "(1 " + what + "|(?!1 )\\d+ " + what + "s)"; };
    const QRegularExpression summary("velmora-map: " + count("folder") + ", " + count("file") + QRegularExpression::escape(leftOut)
                                     + "; " + sizeShown + "\\d+ bytes written in \\d+\\.\\d\\d s\r\n$");
    QCOMPARE(summary.match(QString::fromLatin1(shown)).hasMatch(), summaryShown);
    if (progressShown && !summaryShown)
        QVERIFY(shown.endsWith("\r\033[K")); // the progress line is wiped at the end
    // Nothing else starts on the row where progress is drawn.
    for (const char *line : {"ERROR:", "velmora-map:"}) {
        for (qsizetype at = shown.indexOf(line); at >= 0; at = shown.indexOf(line, at + 1))
            QVERIFY2(at == 0 || shown[at - 1] == '\n' || shown.mid(at - 4, 4) == "\r\033[K", shown.constData());
    }
    if (outputToo && output == "-")
        QVERIFY(shown.contains("<ul><li>x</li></ul></HTML>\r\nvelmora-map: "));
    if (status == 3)
        QVERIFY(shown.contains("velmora-map: cannot read directory '" + scratch.path() + "/locked/closed': Permission denied"));
    if (signal)
        QCOMPARE(fileContents(here + "/out.html"), earlier);
    QCOMPARE(QDir(here).entryList(QDir::Files | QDir::Hidden).filter(".html"), QStringList{"out.html"});
}

void tst_MapCommand::jsonNamesEveryEntry_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("listFiles");
    QTest::addColumn<bool>("toStandardOutput");
    QTest::addColumn<bool>("byNobody"); // for whom the directory "locked" cannot be read
    QTest::addColumn<int>("chainLevels"); // of folders in a chain beside the names

    QTest::newRow("-f") << "json" << true << false << false << 0;
    QTest::newRow("directories only") << "json" << false << false << false << 0;
    QTest::newRow("-f, to standard output") << "json" << true << true << false << 0;
    QTest::newRow("unreadable directory") << "json" << true << false << true << 0;
    QTest::newRow("unreadable directory, directories only, to standard output") << "json" << false << true << true << 0;
    QTest::newRow("lines, -f") << "jsonl" << true << false << false << 0;
    QTest::newRow("lines, unreadable directory, directories only, to standard output") << "jsonl" << false << true << true << 0;
    QTest::newRow("lines, unreadable directory") << "jsonl" << true << false << true << 0;
    // Deeper than the nested document's parsers go.
    QTest::newRow("lines, a chain of 2,000 folders") << "jsonl" << true << false << false << 2000;
}

void tst_MapCommand::jsonNamesEveryEntry()
{
    QFETCH(QString, format);
    QFETCH(bool, listFiles);
    QFETCH(bool, toStandardOutput);
    QFETCH(bool, byNobody);
    QFETCH(int, chainLevels);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    const QList<QByteArray> nastyNames = {
        "quote\"d", "back\\slash", "ctl\x01\x1f\x7f", "new\nline", "carriage\rreturn", "tab\there", "<b>&amp;", "a&b",
        "\xf0\x9f\x98\x80 \xf0\x9d\x84\x9e", "next\xc2\x85line", "sep\xe2\x80\xa8", "caf\xc3\xa9", "\xff",
        "caf\xe9", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82x", "a\x80z"};
    QList<QByteArray> entries = {"d:tree", "d:tree/sub", "d:tree/sub/deeper", "d:tree/\xfe\\\n", "d:tree/locked",
                                 "tree/locked/hidden", "l:tree/gone=nowhere", "p:tree/fifo", "l:tree/sub/up=..",
                                 "d:tree/\xfe\\\n/inner", "tree/\xfe\\\n/inner/f"};
    for (const QByteArray &name : nastyNames)
        entries << "tree/" + name << "tree/\xfe\\\n/" + name << "d:tree/sub/" + name;
    for (QByteArray chain = "d:tree/chain"; chainLevels-- > 0; chain += "/d")
        entries << chain;
    QVERIFY(makeTree(scratch.path(), entries));
    QVERIFY(::chmod(scratch.path().constData(), 0777) == 0); // where nobody writes the reports
    QVERIFY(::chmod((scratch.path() + "/tree/locked").constData(), 0700) == 0);
    const QString here = QFile::decodeName(scratch.path());
    const QString program = byNobody ? copyNobodyCanRun(scratch.path()) : QStringLiteral(VELMORA_MAP);
    QVERIFY(!program.isEmpty());

    const QStringList options = listFiles ? QStringList{"-f"} : QStringList{};
    const std::function<void()> inChild = byNobody ? asNobody : nullptr;
    const QString jsonOutput = toStandardOutput ? "-" : here + "/map.json";
    const QString htmlOutput = toStandardOutput ? "-" : here + "/map.html";
    const Result json = velmoraMap(QStringList{"--format=" + format} << options << here + "/tree" << jsonOutput, inChild, program);
    const Result html = velmoraMap(QStringList(options) << here + "/tree" << htmlOutput, inChild, program);
    const QByteArray document = toStandardOutput ? json.out : fileContents(jsonOutput);
    const QByteArray report = toStandardOutput ? html.out : fileContents(htmlOutput);

    // The same run as the HTML report's: status, error lines, counts.
    QCOMPARE(json.status, byNobody ? 3 : 0);
    QCOMPARE(json.status, html.status);
    QCOMPARE(json.err, html.err);
    if (!toStandardOutput)
        QCOMPARE(json.out, html.out);
    const QRegularExpression counts("Number of Folders: </b>(\\d+)<br><b>Number of Files: </b>(\\d+)<br>");
    const QRegularExpressionMatch counted = counts.match(QString::fromLatin1(report));
    QVERIFY(counted.hasMatch());

    // One line, or one a line for JSON Lines, whatever the names hold, which
    // every parser reads back to the names on disk.
    const bool lines = format == "jsonl";
    QVERIFY(document.endsWith("}\n"));
    const QByteArray onDisk = "1 " + counted.captured(1).toLatin1() + ' ' + counted.captured(2).toLatin1() + ' '
                              + (listFiles ? "true" : "false") + "\n0 directory " + decimalBytes(scratch.path() + "/tree")
                              + " contents\n" + entriesOnDisk(scratch.path() + "/tree", 1, listFiles, byNobody);
    QCOMPARE(document.count('\n'), lines ? onDisk.count('\n') - 1 : 1);
    QCOMPARE(listedBy("python3", {"-c", lines ? pythonLinesLister : pythonLister}, document), onDisk);
    QCOMPARE(listedBy("jq", lines ? QStringList{"-n", "-r", jqLinesLister} : QStringList{"-r", jqLister}, document), onDisk);
}

void tst_MapCommand::directoriesAsDuAndFindCountThem_data()
{
    QTest::addColumn<QStringList>("options");

    QTest::newRow("json, counts only") << QStringList{"--format=json"};
    QTest::newRow("json with sizes") << QStringList{"--format=json", "--sizes"};
    QTest::newRow("jsonl with sizes") << QStringList{"--format=jsonl", "--sizes"};
    QTest::newRow("jsonl with sizes, -P") << QStringList{"--format=jsonl", "--sizes", "-P"};
}

void tst_MapCommand::directoriesAsDuAndFindCountThem()
{
    QFETCH(QStringList, options);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    // Hard links within a folder and across folders, sparse and empty
    // files, and a link to a file elsewhere in the tree.
    QVERIFY(makeTree(scratch.path(), {"d:a", "w:a/f=10000", "h:a/g=a/f", "w:a/h=3000", "d:b", "h:b/f=a/f", "w:b/own=30000",
                                      "s:b/sparse=4294967296", "b/empty", "d:b/deep", "d:b/deep/er", "w:b/deep/er/x=700",
                                      "l:b/deep/alias=../../a/h", "d:c"}));
    const QString root = QFile::decodeName(scratch.path());
    const Result map = velmoraMap(QStringList(options) << "-q" << root << "-");
    QCOMPARE(map.status, 0);
    const QString kind = options.first().mid(9);
    const QByteArray checked = listedBy("python3", {"-c", directoryChecker, root, kind, options.contains("-P") ? "-P" : "-L"},
                                        map.out);
    QCOMPARE(checked, QByteArray("6 directories\n"));
}

void tst_MapCommand::ncduReadsTheMap_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("byNobody"); // for whom the directory "locked" cannot be read
    QTest::addColumn<QByteArray>("leftOut"); // "DEPTH NAME" of each entry a pattern left out, as ncdu shows it
    QTest::addColumn<QByteArrayList>("more"); // entries the tree has besides, for makeTree
    QTest::addColumn<QByteArray>("mounted"); // on tree/disk, before "more" is made: "tmpfs", "bind" of tree/sub, or ""

    QTest::newRow("names, a loop and a pseudo file system") << QStringList{} << false << QByteArray() << QByteArrayList{} << QByteArray();
    QTest::newRow("a folder that cannot be read, by nobody") << QStringList{} << true << QByteArray() << QByteArrayList{} << QByteArray();
    QTest::newRow("on one file system, a folder excluded") << QStringList{"-x", "--exclude=/sub/"} << false
                                                           << QByteArray("1 sub") << QByteArrayList{} << QByteArray();
    QTest::newRow("sizes: hard links, a sparse file, a pipe, links")
        << QStringList{"--sizes"} << false << QByteArray() << QByteArrayList{} << QByteArray();
    QTest::newRow("sizes of links themselves, -P") << QStringList{"--sizes", "-P"} << false << QByteArray() << QByteArrayList{} << QByteArray();
    QTest::newRow("sizes, by nobody: a folder listed but not searchable")
        << QStringList{"--sizes"} << true << QByteArray() << QByteArrayList{} << QByteArray();
    QTest::newRow("sizes, files excluded at two depths, in name order")
        << QStringList{"--sizes", "--exclude=shared", "--sort=name"} << false << QByteArray("1 shared\n2 shared")
        << QByteArrayList{} << QByteArray();
    const QByteArrayList links = {"d:tree/real", "w:tree/real/f=10000", "l:tree/alias=real", "l:tree/sub/file=../real/f"};
    QTest::newRow("sizes: a link to a folder, a link to a file") << QStringList{"--sizes"} << false << QByteArray() << links
                                                                << QByteArray();
    QTest::newRow("sizes of links themselves, -P, beside a folder and a file")
        << QStringList{"--sizes", "-P"} << false << QByteArray() << links << QByteArray();
    QTest::newRow("sizes: a mount, entered") << QStringList{"--sizes"} << false << QByteArray()
                                             << QByteArrayList{"w:tree/disk/inside=5000"} << QByteArray("tmpfs");
    QTest::newRow("sizes on one file system: a mount") << QStringList{"--sizes", "-x"} << false << QByteArray()
                                                       << QByteArrayList{"w:tree/disk/inside=5000"} << QByteArray("tmpfs");
    QTest::newRow("sizes: a folder mounted again below") << QStringList{"--sizes"} << false << QByteArray() << QByteArrayList{}
                                                        << QByteArray("bind");
    QTest::newRow("sizes of links themselves, -P: a folder mounted again below")
        << QStringList{"--sizes", "-P"} << false << QByteArray() << QByteArrayList{} << QByteArray("bind");
    QTest::newRow("sizes on one file system: a link to a mount, met first")
        << QStringList{"--sizes", "-x", "--sort=name"} << false << QByteArray() << QByteArrayList{"l:tree/alias=disk"}
        << QByteArray("tmpfs");
    QByteArrayList nowhere = {"l:tree/loop=loop", "w:tree/end=3000"}; // and a chain of 41 links to "end"
    for (int link = 0; link <= 40; ++link)
        nowhere << "l:tree/chain" + QByteArray::number(link) + "=" + (link < 40 ? "chain" + QByteArray::number(link + 1) : "end");
    QTest::newRow("sizes: links that lead nowhere") << QStringList{"--sizes"} << false << QByteArray() << nowhere
                                                   << QByteArray();
    QTest::newRow("sizes: a file changed before 1970")
        << QStringList{"--sizes"} << false << QByteArray() << QByteArrayList{"tree/old", "t:tree/old=-86400"} << QByteArray();
}

void tst_MapCommand::ncduReadsTheMap()
{
    QFETCH(QStringList, options);
    QFETCH(bool, byNobody);
    QFETCH(QByteArray, leftOut);
    QFETCH(QByteArrayList, more);
    QFETCH(QByteArray, mounted);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QList<QByteArray> entries = {"d:tree", "d:tree/sub", "l:tree/sub/up=..", "l:tree/proc=/proc", "d:tree/locked",
                                 "tree/locked/hidden", "l:tree/gone=nowhere", "p:tree/fifo", "w:tree/shared=7000",
                                 "h:tree/sub/shared=tree/shared", "s:tree/sparse=1000000", "d:tree/listed", "d:tree/listed/inner",
                                 "tree/listed/unseen"};
    for (const char *name : {"quote\"d", "back\\slash", "ctl\x01\x1f\x7f", "new\nline", "caf\xc3\xa9", "\xff",
                                   "caf\xe9", "a\x80z"})
        entries << "tree/" + QByteArray(name) << "tree/sub/" + QByteArray(name);
    QVERIFY(makeTree(scratch.path(), entries));
    std::optional<LoopDisk> disk;
    if (mounted == "tmpfs") {
        disk.emplace(scratch.path() + "/tree", LoopDisk::Tmpfs);
        if (!disk->isMounted())
            QSKIP(qPrintable("no tmpfs of its own here: " + disk->failure()));
    }
    struct Unmount
    {
        QByteArray path;
        ~Unmount()
        {
            if (!path.isEmpty())
                ::umount2(path.constData(), MNT_DETACH);
        }
    } bound;
    if (mounted == "bind") {
        const QByteArray target = scratch.path() + "/tree/disk";
        QVERIFY(::mkdir(target.constData(), 0755) == 0);
        if (::mount((scratch.path() + "/tree/sub").constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP(qPrintable("cannot bind a folder here: " + QByteArray(std::strerror(errno))));
        bound.path = target;
    }
    QVERIFY(makeTree(scratch.path(), more));
    QVERIFY(::chmod(scratch.path().constData(), 0777) == 0);
    QVERIFY(::chmod((scratch.path() + "/tree/locked").constData(), 0700) == 0);
    QVERIFY(::chmod((scratch.path() + "/tree/listed").constData(), 0744) == 0); // nobody lists it, and cannot search it
    const QString tree = QFile::decodeName(scratch.path()) + "/tree";
    const QString program = byNobody ? copyNobodyCanRun(scratch.path()) : QStringLiteral(VELMORA_MAP);
    QVERIFY(!program.isEmpty());
    const std::function<void()> inChild = byNobody ? asNobody : nullptr;

    // Files are listed without -f: the format has no other way.
    const Result ncdu = velmoraMap(QStringList{"--format=ncdu"} << options << tree << "-", inChild, program);
    const Result lines = velmoraMap(QStringList{"-f", "--format=jsonl"} << options << tree << "-", inChild, program);
    QCOMPARE(ncdu.status, byNobody ? 3 : 0);
    QCOMPARE(ncdu.err, lines.err);
    QVERIFY(ncdu.out.startsWith("[1,2,{\"progname\":\"velmora-map\",\"progver\":\""));
    QCOMPARE(listedBy("python3", {"-c", duplicateKeyFinder}, ncdu.out), QByteArray());
    // Read back by ncdu and exported again, the same entries with the same flags.
    const QByteArray again = listedBy("ncdu", {"-f", "-", "-o", "-"}, ncdu.out);
    const QString sized = options.contains("--sizes") ? "sizes" : "";
    const QString links = options.contains("-P") ? "-P" : "-L";
    const QByteArray expected = listedBy("python3", {"-c", ncduLister, "jsonl", sized, tree, links}, lines.out);
    QVERIFY(expected.startsWith("0 directory " + decimalBytes(tree.toUtf8()) + " - "));
    QByteArray patterns;
    for (const QByteArray &entry : leftOut.split('\n')) {
        if (!entry.isEmpty())
            patterns += entry.left(2) + "excluded " + decimalBytes(entry.mid(2)) + " pattern -\n";
    }
    QCOMPARE(listedBy("python3", {"-c", ncduLister, "ncdu", sized}, again), expected + patterns);
    // gdu opens it and lists the root's entries.
    const QByteArray shown = listedBy("gdu", {"-f", "-", "-n"}, ncdu.out);
    for (const char *name : {"locked", "proc", "fifo", "gone"})
        QVERIFY2(shown.contains(name), shown.constData());
    if (sized.isEmpty())
        return;
    // gdu shows the root's total and each folder's in it as the JSON Lines
    // have them, where every folder takes 4096 bytes: gdu gives each that
    // much of its own, whatever the export says. A folder that shares a
    // file with another is left out: gdu counts a file once, at its first
    // place.
    QMap<QByteArray, QJsonObject> folders; // the root as "", the folders in it by name
    bool sized4096 = true;
    for (const QByteArray &line : lines.out.split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        const QString path = entry.value("path").toString();
        if (entry.isEmpty() || (entry.contains("path") && entry.value("type") != "directory"))
            continue;
        const bool counted = !entry.contains("counted_elsewhere") && entry.value("reason").toString("unreadable").startsWith("unreadable");
        if (entry.contains("disk") && counted)
            sized4096 = sized4096 && entry.value("disk").toInt() == 4096 && entry.value("size").toInt() == 4096;
        const bool shares = entry.value("shared_size").toInteger() != 0 || entry.value("shared_disk").toInteger() != 0;
        if (!path.contains('/') && (path.isEmpty() || !shares))
            folders.insert(path.toUtf8(), entry);
    }
    if (!sized4096)
        return;
    for (const char *kind : {"disk", "size"}) {
        QStringList gdu = {"-f", "-", "-n", "-p", "--no-prefix"};
        if (kind == QByteArray("size"))
            gdu << "-a"; // the apparent sizes
        QMap<QByteArray, QByteArray> totals; // as gdu shows them
        QByteArray shownByGdu = listedBy("gdu", gdu, ncdu.out);
        shownByGdu += listedBy("gdu", gdu << "-s", ncdu.out);
        for (const QByteArray &line : shownByGdu.split('\n')) {
            // "[FLAG] SIZE NAME": the root by its last name; in it, a folder after a slash
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 2)
                totals.insert(fields.last() == "tree" ? QByteArray() : fields.last().mid(fields.last().startsWith('/')),
                              fields[fields.size() - 2]);
        }
        for (auto folder = folders.cbegin(); folder != folders.cend(); ++folder) {
            const QByteArray json = QByteArray::number(folder->value("total_" + QString(kind)).toInteger());
            QVERIFY2(folder.key().isEmpty() || totals.contains(folder.key()), folder.key() + '\n' + shownByGdu);
            QCOMPARE(kind + (' ' + folder.key()) + ' ' + totals.value(folder.key()), kind + (' ' + folder.key()) + ' ' + json);
        }
    }
}

void tst_MapCommand::rulesShapeHtmlAndJsonAlike_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArrayList>("entries"); // "DEPTH TYPE NAME[ contents| reason=...]", as the JSON document has them

    QTest::newRow("by name, links followed")
        << QStringList{"--sort=name"}
        << QByteArrayList{"1 file C", "1 file a", "1 file b.o", "1 directory link contents", "2 file y.o", "2 file z",
                          "1 directory proc reason=pseudo file system", "1 directory sub contents", "2 file y.o", "2 file z"};
    QTest::newRow("by name, links not followed, files excluded")
        << QStringList{"--sort=name", "-P", "--exclude=*.o"}
        << QByteArrayList{"1 file C", "1 file a", "1 file link", "1 file proc", "1 directory sub contents", "2 file z"};
    QTest::newRow("by version, on one file system, a directory excluded by its path")
        << QStringList{"--sort=version", "-x", "--exclude=/sub/"}
        << QByteArrayList{"1 file C", "1 file a", "1 file b.o", "1 directory link contents", "2 file y.o", "2 file z",
                          "1 directory proc reason=other file system"};
}

void tst_MapCommand::rulesShapeHtmlAndJsonAlike()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArrayList, entries);

    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(makeTree(scratch.path(), {"d:tree", "tree/b.o", "tree/a", "d:tree/sub", "tree/sub/z", "tree/sub/y.o",
                                      "l:tree/link=sub", "l:tree/proc=/proc", "tree/C"}));
    const QString tree = QFile::decodeName(scratch.path()) + "/tree";
    const Result html = velmoraMap(QStringList{"-f"} << options << tree << "-");
    const Result json = velmoraMap(QStringList{"-f", "--format=json"} << options << tree << "-");
    QCOMPARE(html.status, 0);
    QCOMPARE(json.status, 0);

    QByteArray expected;
    int folders = 0;
    for (const QByteArray &entry : entries) {
        QByteArrayList fields = entry.split(' ');
        fields[2] = decimalBytes(fields[2]);
        expected += fields.join(' ') + '\n';
        folders += fields[1] == "directory";
    }
    const QByteArray header = QByteArray::number(folders) + ' ' + QByteArray::number(entries.size() - folders);
    const QByteArray listed = listedBy("python3", {"-c", pythonLister}, json.out);
    QCOMPARE(listed, "1 " + header + " true\n0 directory " + decimalBytes(tree.toUtf8()) + " contents\n" + expected);
    // The report lists the same entries in the same order, with the same counts.
    QByteArray reportEntries = header + '\n';
    for (const QByteArray &line : expected.split('\n'))
        if (!line.isEmpty())
            reportEntries += line.split(' ').mid(0, 3).join(' ') + '\n';
    QCOMPARE(htmlEntries(html.out), reportEntries);
}

void tst_MapCommand::sortedCopiesGiveOneReport()
{
    // On tmpfs a directory lists its entries by when they were made, so two
    // copies made in opposite orders list them differently.
    ScratchDirectory scratch;
    QVERIFY(scratch.isValid());
    LoopDisk disk(scratch.path(), LoopDisk::Tmpfs);
    if (!disk.isMounted())
        QSKIP(qPrintable("no tmpfs of its own here: " + disk.failure()));
    QList<QByteArray> entries = {"d:copy", "copy/B", "copy/a", "copy/file10", "copy/file2", "copy/\xc3\xa9", "copy/\xe2\x82\xac",
                                 "d:copy/sub", "copy/sub/x", "copy/sub/y", "d:copy/sub/deeper", "copy/zz"};
    // The other copy: its directories first, parents before children, then its files backwards.
    QList<QByteArray> reversed;
    for (const QByteArray &entry : entries)
        if (entry.startsWith("d:"))
            reversed << entry;
    for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry)
        if (!entry->startsWith("d:"))
            reversed << *entry;
    QVERIFY(::mkdir((disk.path() + "/first").constData(), 0755) == 0 && ::mkdir((disk.path() + "/second").constData(), 0755) == 0);
    QVERIFY(makeTree(disk.path() + "/first", entries));
    QVERIFY(makeTree(disk.path() + "/second", reversed));
    QVERIFY(readdirOrder(disk.path() + "/first/copy") != readdirOrder(disk.path() + "/second/copy"));

    // Each is mapped as "copy" from its own folder, so that even the JSON root's name is the same.
    const auto mapCopy = [&](const char *folder, QStringList options) {
        const QByteArray where = disk.path() + '/' + folder;
        return velmoraMap(options << "copy" << "-", [where] {
            if (::chdir(where.constData()) != 0)
                ::_exit(100);
        });
    };
    for (const QStringList &options : {QStringList{"-f"}, QStringList{"-f", "--format=json"}}) {
        QVERIFY(mapCopy("first", options).out != mapCopy("second", options).out);
        const Result first = mapCopy("first", QStringList{"--sort=name"} + options);
        const Result second = mapCopy("second", QStringList{"--sort=name"} + options);
        QCOMPARE(first.status, 0);
        QVERIFY(first.out.contains("file10"));
        QCOMPARE(first.out, second.out);
    }
}

QTEST_MAIN(tst_MapCommand)
#include "tst_mapcommand.moc"
