#pragma once

#include "mapoptions.h"

#include <optional>
#include <string>
#include <vector>

// Reads velmora-map's command line into `options`, and the exclude patterns
// it names into `excludePatterns`. Gives the exit status where the command
// line settles the run by itself: a usage error, an exclude file that
// cannot be read and a root that cannot be mapped, said on standard error;
// --help and --version, answered on standard output. Gives none when the
// map is to be made.
std::optional<int> readCommandLine(int argc, char **argv, MapOptions &options, std::vector<std::string> &excludePatterns);
