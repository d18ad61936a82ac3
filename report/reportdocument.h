#pragma once

#include <string>

// The report document, assembled by appending its pieces in this order:
// the opening, the counts, the map heading, the list of the tree, the closing.

std::string reportOpening();
void appendCounts(std::string &report, int folderCount, int fileCount);
// Appends the heading of the map and gives the list-files flag for the
// mapping walk: 0 when only directories are mapped, 1 when files are too.
int appendMapHeading(std::string &report, bool directoriesOnly);
void appendReportClosing(std::string &report);
