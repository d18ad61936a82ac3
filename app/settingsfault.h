#pragma once

#include <QString>

// Why the settings file at `path` cannot be read, or cannot be written as a
// settings file is (a new file beside it, then renamed over it), as "the
// path at fault: the reason", where the path is the file or a folder above
// it; empty when nothing is found wrong. Never waits on a FIFO. For a thread
// other than the window's: each asks the file system.
QString settingsReadFault(const QString &path);
QString settingsWriteFault(const QString &path);
