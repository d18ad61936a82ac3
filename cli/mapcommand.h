#pragma once

#include "interruption.h"
#include "mapoptions.h"

#include <string>
#include <vector>

// Maps a tree from the command line into the same report the window writes,
// as `options` ask, once the command line has been read. Gives the exit
// status (ExitStatus), or the one `interruption` gives when a signal ended
// the run.
int runMapCommand(const MapOptions &options, std::vector<std::string> excludePatterns, const Interruption &interruption);
