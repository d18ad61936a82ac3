#pragma once

// velmora-map: maps a tree from the command line into the same report the
// window writes. Gives the exit status: 0 when the report was written, 1
// when it could not be, 2 for a usage error or a root that cannot be mapped,
// 3 when the report was written but some directory could not be read, and
// 128 and the signal's number when SIGHUP, SIGINT, SIGQUIT or SIGTERM ended
// the run.
int runMapCommand(int argc, char **argv);
