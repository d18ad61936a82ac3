#pragma once

// velmora-map: maps a tree from the command line into the same report the
// window writes. Gives the exit status: 0 when the report was written, 1
// when it could not be, 2 for a usage error or a root that is not an
// existing directory.
int runMapCommand(int argc, char **argv);
