#pragma once

#include <QString>

#include <cstdint>

// What the status bar says of a map run. Numbers are written the English
// way, as every text of the window is.

// While the tree is listed.
QString listingStatus(std::uint64_t entriesSeen);
// While the report is made and written piece by piece.
QString writingStatus(std::uint64_t entriesMapped, std::uint64_t entriesInAll, std::uint64_t bytesWritten);
// While the written report is put in place of an earlier one.
QString savingStatus(std::uint64_t bytesWritten);
// Once the report is in place, under its absolute path.
QString writtenStatus(const QString &absolutePath, std::uint64_t bytesWritten);
QString cancelledStatus();
