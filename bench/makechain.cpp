// Builds the hard-linked chain that bench/run.sh maps with sizes: a chain of
// LEVELS directories, one in each, with a file in its first directory (the
// top) and one in its last (the bottom), each with a second link in ROOT.
//
//   velmora-makechain LEVELS ROOT
//
// A walk meets each of the two files twice, in the chain and in ROOT; summed
// as du -s sums each folder alone, every folder of the chain above the file
// holds it. The paths grow far beyond PATH_MAX, so the chain is built from
// open descriptors, one level at a time. It prints what it made and what a
// walk that follows links will count, in the words velmora-maketree uses.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int openFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
const std::string levelName(8, 'c');
// Each file holds this much, so that the sums the walk makes are not all 0.
constexpr std::size_t fileBytes = 4096;

[[noreturn]] void fail(const std::string &what, long level)
{
    std::fprintf(stderr, "velmora-makechain: %s at level %ld: %s\n", what.c_str(), level, std::strerror(errno));
    std::exit(1);
}

// Makes the file `name` in the open directory `fd` and links it into the
// open root as `rootName`.
void makeLinkedFile(int fd, const char *name, int rootFd, const char *rootName, long level)
{
    const int file = ::openat(fd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file < 0)
        fail(std::string("cannot create ") + name, level);
    const std::string content(fileBytes, 'x');
    if (::write(file, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        fail(std::string("cannot write ") + name, level);
    if (::close(file) != 0)
        fail(std::string("cannot close ") + name, level);
    if (::linkat(fd, name, rootFd, rootName, 0) != 0)
        fail(std::string("cannot link ") + name + " as " + rootName, level);
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
        std::fprintf(stderr, "usage: velmora-makechain LEVELS ROOT\n");
        return 2;
    }
    if (::mkdir(argv[2], 0755) != 0)
        fail(std::string("cannot create ") + argv[2], 0);
    const int rootFd = ::open(argv[2], openFlags);
    if (rootFd < 0)
        fail(std::string("cannot open ") + argv[2], 0);

    int fd = rootFd;
    for (long level = 1; level <= levels; ++level) {
        if (::mkdirat(fd, levelName.c_str(), 0755) != 0)
            fail("cannot create " + levelName, level);
        const int deeper = ::openat(fd, levelName.c_str(), openFlags);
        if (deeper < 0)
            fail("cannot open " + levelName, level);
        if (fd != rootFd)
            ::close(fd);
        fd = deeper;
        if (level == 1)
            makeLinkedFile(fd, "top", rootFd, "top, again", level);
    }
    makeLinkedFile(fd, "bottom", rootFd, "bottom, again", levels);
    ::close(fd);
    ::close(rootFd);

    std::printf("made %ld directories, 4 files and 0 symbolic links in a chain of %ld levels"
                " (2 files with a second link in the root)\n",
                levels, levels);
    std::printf("a walk that follows links counts %ld folders and 4 files: %ld entries\n", levels, levels + 4);
    return 0;
}
