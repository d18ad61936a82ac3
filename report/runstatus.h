#pragma once

#include "mapstage.h"
#include "reportformat.h"
#include "unreadabledirectories.h"

#include <QString>

#include <cstdint>
#include <vector>

// What the window says of a map run. Numbers are written the English way, as
// every text of the window is.

// The caption of a stage's label while the stage is to come or under way,
// and once done.
QString progressCaption(MapStage stage);
QString progressDone(MapStage stage);
// The third label of a run that wrote no report.
QString progressNotWritten();

// In the status bar while the tree is listed and counted.
QString countingStatus(std::uint64_t entriesSeen);
// While the report is made and written to its file piece by piece.
QString mappingStatus(std::uint64_t entriesMapped, std::uint64_t entriesInAll, std::uint64_t bytesWritten);
// While the file is written in place of an earlier report.
QString writingStatus(std::uint64_t bytesWritten);
// The same, once the window was closed while the report is put in place.
QString closingWhenWrittenStatus(std::uint64_t bytesWritten);

// How a run ended, in the status bar until the next run. Each names the
// kind of report the run was to write, in `format`.
// Once the report is in place, under its absolute path.
QString writtenStatus(ReportFormat format, const QString &absolutePath, std::uint64_t bytesWritten);
// What follows that when directories could not be read, or the metadata of
// entries; empty when all could.
QString unreadableStatus(std::size_t folders, std::size_t entries);
QString cancelledStatus();
// A report that was not written, and why; without a path, none was given,
// and without a reason either, that is why.
QString notWrittenStatus(ReportFormat format, const QString &absolutePath, const QString &reason);
// A root that is not mapped, and why; an empty path: none was given.
QString notMappedStatus(const QString &absolutePath, const QString &reason);

// The directories that could not be read, one a line with the reason, the
// first `shown` of them and how many more there are; then, as many, the
// entries whose size could not be read.
QString unreadableList(const std::vector<UnreadableDirectory> &directories, const std::vector<UnreadableDirectory> &entries,
                       std::size_t shown);
