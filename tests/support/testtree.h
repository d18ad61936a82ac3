#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Builds a tree below `root` from entries such as
//   "d:docs"            a directory
//   "docs/a.txt"        an empty file
//   "l:docs/up=.."      a symbolic link named up pointing to ..
//   "p:pipe"            a named pipe
//   "w:docs/b=5000"     a file of 5000 bytes of data
//   "s:docs/b=1000000"  the file made 1000000 bytes long without writing (made if need be)
//   "h:docs/c=docs/b"   a hard link named c to docs/b
//   "m:docs=444"        docs's mode made 0444
//   "t:docs=-86400"     docs's modification time made -86400 seconds since the epoch
// Paths are raw bytes, so names need not be valid UTF-8. Parents come first.
// Returns false, with a warning, when an entry cannot be made.
bool makeTree(const QByteArray &root, const QList<QByteArray> &entries);

// Entries for makeTree of directories L0 to L<levels-1> below `folder`,
// each holding two links with long names to the next: a walk that follows
// links from L0 sees 2^levels paths, far more than memory can hold.
QList<QByteArray> linkGraph(const QByteArray &folder, int levels);

// The names in a directory in the order readdir returns them, "." and ".."
// left out.
QList<QByteArray> readdirOrder(const QByteArray &directory);

// The list fragment for the tree below `directory`, made independently of
// the walks with readdir and stat: directories are those stat calls one;
// files are listed when `listFiles` is 1. Only for trees without loops.
QByteArray referenceMap(const QByteArray &directory, int listFiles);

// The whole content of a file, or "<unreadable>".
QByteArray fileContents(const QString &path);
// The same for a path given as bytes, which need not be valid UTF-8.
QByteArray fileContents(const QByteArray &path);
// Makes `content` the whole content of the file, creating it if need be.
bool writeFileContents(const QString &path, const QByteArray &content);

// Opens /proc/self/fd and counts the descriptors this process holds.
int openDescriptorCount();

// Makes `folder` holding `files` empty files named f-00000, f-00001 and so
// on, in that order.
bool makeFlatFolder(const QByteArray &folder, int files);
