// Lists a tree the way velmora-map does, on a fixed number of threads, so
// that bench/run.sh can time the listing at each thread count against the
// count velmora-map chooses itself.
//
//   velmora-threadsweep [--sizes] THREADS ROOT
//
// THREADS 0 lets the scan choose, as velmora-map does. Prints
//   folders N files N
// (an error line on standard error for each directory that could not be
// read) and exits 0, or 1 when the tree could not be listed. With --sizes,
// every entry's metadata is read as well and the root's subtree summed as
// DirectoryTally sums it, in the replay that counts as velmora-map does,
// which adds to the line
//   bytes N disk N unreadable N
// the apparent and disk bytes, each file counted once, and the number of
// entries whose metadata could not be read.

#include "bothvisitors.h"
#include "directorytally.h"
#include "mallocarena.h"
#include "treecounter.h"
#include "treescan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>

int main(int argc, char **argv)
{
    const bool sizes = argc == 4 && std::strcmp(argv[1], "--sizes") == 0;
    char **const arguments = argv + (sizes ? 1 : 0);
    char *end = nullptr;
    const unsigned long threads = argc - sizes == 3 ? std::strtoul(arguments[1], &end, 10) : 0;
    if (argc - sizes != 3 || *arguments[1] == '\0' || *end != '\0' || threads > 1024) {
        std::fprintf(stderr, "usage: velmora-threadsweep [--sizes] THREADS ROOT\n");
        return 2;
    }
    shareOneMallocArena(); // as velmora-map does
    try {
        WalkRules rules;
        rules.readMetadata = sizes;
        const TreeRecording recording =
            scanTree(arguments[2], nullptr, unsigned(threads), nullptr, sizes ? &rules : nullptr);
        TreeCounter counter(std::cerr);
        DirectoryTally tally;
        if (sizes) {
            // As velmora-map does: one replay counts and sums.
            tally.expectLinkTargets(recording.linkTargets());
            BothVisitors both(counter, tally);
            recording.replay(both);
            tally.finish();
        } else {
            recording.replay(counter);
        }
        std::printf("folders %d files %d", counter.folderCount(), counter.fileCount());
        if (sizes) {
            const SubtreeSizes::Totals &total = tally.sizes(0);
            std::printf(" bytes %llu disk %llu unreadable %u", static_cast<unsigned long long>(total.apparentBytes),
                        static_cast<unsigned long long>(total.diskBytes), total.unreadable);
        }
        std::printf("\n");
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "velmora-threadsweep: %s\n", failure.what());
        return 1;
    }
    return 0;
}
