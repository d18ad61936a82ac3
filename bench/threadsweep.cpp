// Lists a tree the way velmora-map does, on a fixed number of threads, so
// that bench/run.sh can time the listing at each thread count against the
// count velmora-map chooses itself.
//
//   velmora-threadsweep THREADS ROOT
//
// THREADS 0 lets the scan choose, as velmora-map does. Prints
//   folders N files N
// (an error line on standard error for each directory that could not be
// read) and exits 0, or 1 when the tree could not be listed.

#include "mallocarena.h"
#include "treecounter.h"
#include "treescan.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

int main(int argc, char **argv)
{
    char *end = nullptr;
    const unsigned long threads = argc == 3 ? std::strtoul(argv[1], &end, 10) : 0;
    if (argc != 3 || *argv[1] == '\0' || *end != '\0' || threads > 1024) {
        std::fprintf(stderr, "usage: velmora-threadsweep THREADS ROOT\n");
        return 2;
    }
    shareOneMallocArena(); // as velmora-map does
    try {
        TreeCounter counter(std::cerr);
        scanTree(argv[2], nullptr, unsigned(threads)).replay(counter);
        std::printf("folders %d files %d\n", counter.folderCount(), counter.fileCount());
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "velmora-threadsweep: %s\n", failure.what());
        return 1;
    }
    return 0;
}
