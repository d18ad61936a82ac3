#pragma once

#include "listedentries.h"
#include "reportformat.h"
#include "treevisitor.h"

#include <ctime>
#include <memory>
#include <string>
#include <string_view>

class DirectoryTally;
struct WalkRules;

// What a map states besides its tree. A format shows what it needs of it.
struct MapHeading
{
    std::string_view rootPath; // as given
    int folderCount = 0;       // below the root, which is not counted
    int fileCount = 0;
    ListedEntries listed = ListedEntries::DirectoriesOnly;
    const WalkRules *rules = nullptr; // null: all of the tree, as the file system lists it
    std::time_t madeAt = 0;           // when the tree was listed
    // Each directory's counts and reasons, finished, of the recording the
    // format is given.
    const DirectoryTally *tally = nullptr;
};

// One way of writing a map, made with its heading and the text it appends
// to. begin() writes what comes before the root's first entry; the
// recorded tree is then replayed into it, and end() writes what follows
// the last entry.
class MapFormat : public TreeVisitor
{
public:
    virtual void begin() = 0;
    virtual void end() = 0;
};

// The format that `format` names. A new format is a class of its own and
// one case here.
std::unique_ptr<MapFormat> makeMapFormat(ReportFormat format, const MapHeading &heading, std::string &output);
// Whether the format shows each directory's own counts, or its reason where
// the directory begins: only then is its heading given a tally, which costs
// a few bytes a directory to keep.
bool showsDirectoryCounts(ReportFormat format);
