#pragma once

#include "listedentries.h"

#include <string>

// The report document, assembled by appending its pieces in this order:
// the opening, the counts, the map heading, the list of the tree, the closing.

std::string reportOpening();
void appendCounts(std::string &report, int folderCount, int fileCount);
void appendMapHeading(std::string &report, ListedEntries listed);
// The same, for the window's tests until they name what is listed; gives
// the reference mapping walk's flag (mapDirectory): 0 when only
// directories are mapped, 1 when files are too.
int appendMapHeading(std::string &report, bool directoriesOnly);
void appendReportClosing(std::string &report);
