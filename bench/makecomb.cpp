// Builds the comb that bench/run.sh maps: a chain of LEVELS directories in
// which every level holds two, the one the chain goes on in listed first by
// the file system and an empty sibling listed after it. One file ends the
// chain.
//
//   velmora-makecomb LEVELS ROOT
//
// Listing order is the file system's own (hash order on ext4), so both
// directories of a level are made first and the chain goes on in whichever
// the listing gives first. The paths grow far beyond PATH_MAX, so the chain
// is built from open descriptors, one level at a time. It prints what it
// made and what a walk that follows links will count, in the words
// velmora-maketree uses.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int openFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr std::size_t nameLength = 8;

[[noreturn]] void fail(const std::string &what, long level)
{
    std::fprintf(stderr, "velmora-makecomb: %s at level %ld: %s\n", what.c_str(), level, std::strerror(errno));
    std::exit(1);
}

// The name of the first entry the open directory `fd` lists.
std::string firstListed(int fd, long level)
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t filled = ::getdents64(fd, buffer.data(), buffer.size());
        if (filled < 0)
            fail("cannot list", level);
        if (filled == 0) {
            errno = ENOENT;
            fail("empty listing", level);
        }
        for (ssize_t offset = 0; offset < filled;) {
            const auto *record = reinterpret_cast<const struct dirent64 *>(buffer.data() + offset);
            offset += record->d_reclen;
            const std::string name = record->d_name;
            if (name != "." && name != "..")
                return name;
        }
    }
}

long parseLevels(const char *text)
{
    char *end = nullptr;
    errno = 0;
    const long levels = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || levels < 1)
        return -1;
    return levels;
}

} // namespace

int main(int argc, char **argv)
{
    const long levels = argc == 3 ? parseLevels(argv[1]) : -1;
    if (levels < 0) {
        std::fprintf(stderr, "usage: velmora-makecomb LEVELS ROOT\n");
        return 2;
    }
    if (::mkdir(argv[2], 0755) != 0)
        fail(std::string("cannot create ") + argv[2], 0);
    int fd = ::open(argv[2], openFlags);
    if (fd < 0)
        fail(std::string("cannot open ") + argv[2], 0);

    const std::string names[] = {std::string(nameLength, 'p'), std::string(nameLength, 'q')};
    for (long level = 1; level <= levels; ++level) {
        for (const std::string &name : names)
            if (::mkdirat(fd, name.c_str(), 0755) != 0)
                fail("cannot create " + name, level);
        const int deeper = ::openat(fd, firstListed(fd, level).c_str(), openFlags);
        if (deeper < 0)
            fail("cannot open the first directory", level);
        ::close(fd);
        fd = deeper;
    }
    const int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file < 0)
        fail("cannot create the file", levels);
    ::close(file);
    ::close(fd);

    std::printf("made %ld directories, 1 files and 0 symbolic links in a comb of %ld levels\n", 2 * levels, levels);
    std::printf("a walk that follows links counts %ld folders and 1 files: %ld entries\n", 2 * levels,
                2 * levels + 1);
    return 0;
}
