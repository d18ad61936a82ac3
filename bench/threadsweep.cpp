// Lists a tree the way velmora-map does, on a fixed number of threads, so
// that bench/run.sh can time the listing at each thread count against the
// count velmora-map chooses itself.
//
//   velmora-threadsweep THREADS ROOT
//
// THREADS 0 lets the scan choose, as velmora-map does. Prints
//   folders N files N
// and exits 0, or 1 when the tree could not be listed.

#include "treescan.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

class Counter : public TreeVisitor
{
public:
    void file(std::string_view) override { ++files; }
    void directoryBegin(std::string_view) override { ++folders; }
    void directoryEnd() override {}
    void directoryUnreadable(int) override {}

    std::uint64_t folders = 0;
    std::uint64_t files = 0;
};

} // namespace

int main(int argc, char **argv)
{
    char *end = nullptr;
    const unsigned long threads = argc == 3 ? std::strtoul(argv[1], &end, 10) : 0;
    if (argc != 3 || *argv[1] == '\0' || *end != '\0' || threads > 1024) {
        std::fprintf(stderr, "usage: velmora-threadsweep THREADS ROOT\n");
        return 2;
    }
    try {
        Counter counter;
        scanTree(argv[2], nullptr, unsigned(threads)).replay(counter);
        std::printf("folders %llu files %llu\n", static_cast<unsigned long long>(counter.folders),
                    static_cast<unsigned long long>(counter.files));
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "velmora-threadsweep: %s\n", failure.what());
        return 1;
    }
    return 0;
}
