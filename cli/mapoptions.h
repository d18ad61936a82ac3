#pragma once

#include "listedentries.h"
#include "reportformat.h"
#include "walkrules.h"

#include <string>
#include <vector>

// One --exclude (a pattern) or --exclude-from (a file of them), in the
// order given, which matters: "!" among them clears what came before.
struct ExcludeOption
{
    bool fromFile = false;
    std::string argument;
};

// What velmora-map was asked to do.
struct MapOptions
{
    ListedEntries listed = ListedEntries::DirectoriesOnly;
    bool open = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    ReportFormat format = ReportFormat::Html;
    bool oneFileSystem = false;
    bool followLinks = true;
    bool sizes = false; // read each entry's size and time
    EntryOrder order = EntryOrder::FileSystem;
    std::vector<ExcludeOption> excludes;
    std::string root;   // the exact bytes of the arguments
    std::string output; // "-" for standard output
};

// Reads the command line the GNU way: options may stand anywhere, short ones
// may be bundled and long ones abbreviated, and "--" ends them. Gives what is
// wrong with it, or an empty text when nothing is. Reorders `argv`.
std::string parseMapOptions(int argc, char **argv, MapOptions &options);
