#pragma once

class QLabel;
class QLineEdit;

enum class PathKind { Directory, File };

// Makes a line edit of the form a field for a path: `label` names it to
// screen readers, it completes what is typed from the file system (only
// directories for a Directory), a file or folder dropped on it from a file
// manager fills it with that path, and it never holds a line break, so a
// path pasted from a terminal with its newline is taken without it.
void makePathField(QLineEdit *field, QLabel *label, PathKind kind);
