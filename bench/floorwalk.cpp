// The least work a walk over a tree can do, as bench/run.sh's floor for
// velmora-map: it lists every directory with openat and getdents64, follows
// links as velmora does, and writes nothing but one line of counts.
//
//   velmora-floorwalk [-j THREADS] [--stat] ROOT
//
// An entry's type comes from its listing; only links and entries of unknown
// type are stat'ed (links followed) to learn whether they are directories,
// and a link back to a directory on the path from the root is counted as a
// folder but not entered. Directories that come with their type are never
// stat'ed, so a bind mount of an ancestor inside the tree would not be seen
// as a loop; the descriptor limit then ends the walk with an error.
//
// With --stat, the floor for a walk that reads metadata: every entry, and
// the root, gets one statx as velmora makes it (the same flags and fields;
// a link that leads nowhere is described as itself, with a second call),
// which also tells links and entries of unknown type apart and identifies
// directories; their sizes are summed.
//
// With more than one thread the top of the tree is split, before the walk,
// into subtrees the threads take in turn (velmora-map instead hands
// subdirectories to idle walkers as it goes). It prints
//   folders N files N loops N unreadable N
// where folders include the loops and the directories that could not be
// opened; with --stat, followed on the same line by
//   bytes N disk N unstated N
// the apparent and disk bytes of every entry described (hard links and
// everything met twice counted each time) and how many could not be.
// The exit status is 0 when the walk went through, 1 when it could not
// (the message says why), 2 for a usage error.

#include <dirent.h>
#include <fcntl.h>
#include <getopt.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr int openFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;
constexpr std::size_t bufferSize = 64 * 1024;
// Splitting stops once there are this many subtrees per thread, or after
// this many levels.
constexpr std::size_t tasksPerThread = 8;
constexpr int splitRounds = 3;
// What velmora reads of each entry with --stat (scan/entrymetadata.cpp).
constexpr unsigned statFields =
    STATX_TYPE | STATX_MODE | STATX_INO | STATX_NLINK | STATX_SIZE | STATX_BLOCKS | STATX_MTIME;

bool statEntries = false;

struct Identity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity &) const = default;
};

struct Counts
{
    std::uint64_t folders = 0;
    std::uint64_t files = 0;
    std::uint64_t loops = 0;
    std::uint64_t unreadable = 0;
    std::uint64_t bytes = 0;
    std::uint64_t disk = 0;
    std::uint64_t unstated = 0;

    void add(const Counts &other)
    {
        folders += other.folders;
        files += other.files;
        loops += other.loops;
        unreadable += other.unreadable;
        bytes += other.bytes;
        disk += other.disk;
        unstated += other.unstated;
    }
};

// One statx as velmora makes it; false when the entry could not be described.
bool describe(int fd, const char *name, int flags, Counts &counts, struct statx &status)
{
    if (::statx(fd, name, flags | AT_STATX_DONT_SYNC, statFields, &status) != 0) {
        ++counts.unstated;
        return false;
    }
    counts.bytes += status.stx_size;
    counts.disk += status.stx_blocks * 512;
    return true;
}

// A directory the walk cannot go on without (out of descriptors, a listing
// that fails part way) ends the run: counts that silently miss part of the
// tree would mislead the benchmark.
[[noreturn]] void fail(const std::string &what, int error)
{
    std::fprintf(stderr, "velmora-floorwalk: %s: %s\n", what.c_str(), std::strerror(error));
    std::exit(1);
}

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A subdirectory waiting to be entered. Its name is in the owner's name store.
struct Pending
{
    std::size_t nameOffset;
    bool hasIdentity; // it was stat'ed to find out that it is a directory
    Identity identity;
};

// Lists directories into a stack of pending subdirectories, counting the
// entries that are not directories on the way.
class Lister
{
public:
    Lister() : m_buffer(bufferSize) {}

    // Appends the subdirectories of the open directory `fd`. False, with
    // errno set, when the listing failed part way.
    bool list(int fd, Counts &counts)
    {
        for (;;) {
            const ssize_t filled = ::getdents64(fd, m_buffer.data(), m_buffer.size());
            if (filled == 0)
                return true;
            if (filled < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            for (ssize_t offset = 0; offset < filled;) {
                const auto *record = reinterpret_cast<const struct dirent64 *>(m_buffer.data() + offset);
                offset += record->d_reclen;
                if (!isDotOrDotDot(record->d_name))
                    take(fd, record->d_name, record->d_type, counts);
            }
        }
    }

    std::size_t size() const { return m_pending.size(); }
    const Pending &operator[](std::size_t index) const { return m_pending[index]; }
    const char *name(const Pending &pending) const { return m_names.data() + pending.nameOffset; }

    void truncate(std::size_t count)
    {
        m_names.resize(count < m_pending.size() ? m_pending[count].nameOffset : m_names.size());
        m_pending.resize(count);
    }

private:
    void take(int fd, const char *name, unsigned char type, Counts &counts)
    {
        Pending pending{m_names.size(), false, {}};
        if (statEntries) {
            takeStated(fd, name, type, counts, pending);
            return;
        }
        switch (type) {
        case DT_DIR:
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            struct stat status;
            if (::fstatat(fd, name, &status, 0) != 0 || !S_ISDIR(status.st_mode)) {
                ++counts.files;
                return;
            }
            pending.hasIdentity = true;
            pending.identity = {status.st_dev, status.st_ino};
            break;
        }
        default:
            ++counts.files;
            return;
        }
        ++counts.folders;
        m_names.append(name).push_back('\0');
        m_pending.push_back(pending);
    }

    void takeStated(int fd, const char *name, unsigned char type, Counts &counts, Pending &pending)
    {
        const bool untold = type == DT_LNK || type == DT_UNKNOWN;
        struct statx status;
        bool described = describe(fd, name, untold ? 0 : AT_SYMLINK_NOFOLLOW, counts, status);
        if (!described && untold) {
            --counts.unstated;
            described = describe(fd, name, AT_SYMLINK_NOFOLLOW, counts, status);
        }
        const bool directory = untold ? described && S_ISDIR(status.stx_mode) : type == DT_DIR;
        if (!directory) {
            ++counts.files;
            return;
        }
        if (described && S_ISDIR(status.stx_mode)) {
            pending.hasIdentity = true;
            pending.identity = {makedev(status.stx_dev_major, status.stx_dev_minor), status.stx_ino};
        }
        ++counts.folders;
        m_names.append(name).push_back('\0');
        m_pending.push_back(pending);
    }

    std::vector<char> m_buffer;
    std::string m_names;
    std::vector<Pending> m_pending;
};

struct Frame
{
    int fd;
    bool hasIdentity;
    Identity identity;
    std::size_t nameIndex; // its entry in the parent's listing
    std::size_t begin;     // its own listing: pending subdirectories begin..end
    std::size_t next;
    std::size_t end;
};

// A subtree for one thread: where it is below the root, and the identities
// of the directories above it.
struct Task
{
    std::string path;
    std::vector<Identity> ancestors;
    bool hasIdentity;
    Identity identity;
};

Identity identify(int fd, const std::string &path)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        fail("cannot stat " + path, errno);
    return {status.st_dev, status.st_ino};
}

// Gives -1 for a directory that cannot be opened, which counts as unreadable;
// running out of descriptors ends the run.
int openDirectory(int parentFd, const char *name, Counts &counts, const std::string &pathForMessage)
{
    const int fd = ::openat(parentFd, name, openFlags);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE)
            fail("cannot open " + pathForMessage, errno);
        ++counts.unreadable;
    }
    return fd;
}

bool contains(const std::vector<Identity> &identities, const Identity &identity)
{
    return std::find(identities.begin(), identities.end(), identity) != identities.end();
}

// Walks one subtree depth first, holding a descriptor for each level it is in.
class SubtreeWalk
{
public:
    SubtreeWalk(const std::string &path, const std::vector<Identity> &ancestors, Counts &counts)
        : m_path(path)
        , m_ancestors(ancestors)
        , m_counts(counts)
    {
    }

    void run(int fd, bool hasIdentity, Identity identity)
    {
        enter(fd, hasIdentity, identity, 0);
        while (!m_frames.empty()) {
            Frame &top = m_frames.back();
            if (top.next == top.end) {
                ::close(top.fd);
                m_lister.truncate(top.begin);
                m_frames.pop_back();
                continue;
            }
            const std::size_t index = top.next++;
            const Pending pending = m_lister[index];
            if (pending.hasIdentity && onPath(pending.identity)) {
                ++m_counts.loops;
                continue;
            }
            const char *name = m_lister.name(pending);
            const int child = ::openat(top.fd, name, openFlags);
            if (child >= 0)
                enter(child, pending.hasIdentity, pending.identity, index);
            else if (errno == EMFILE || errno == ENFILE)
                fail("cannot open " + path() + '/' + name, errno);
            else
                ++m_counts.unreadable;
        }
    }

private:
    void enter(int fd, bool hasIdentity, Identity identity, std::size_t nameIndex)
    {
        const std::size_t begin = m_lister.size();
        m_frames.push_back({fd, hasIdentity, identity, nameIndex, begin, begin, begin});
        if (!m_lister.list(fd, m_counts))
            fail("cannot list " + path(), errno);
        m_frames.back().end = m_lister.size();
    }

    // The path of the deepest frame for messages, shortened when deep.
    std::string path() const
    {
        constexpr std::size_t shownLevels = 8;
        std::string path = m_path;
        const std::size_t depth = m_frames.size() - 1;
        if (depth > shownLevels)
            path += "/... (" + std::to_string(depth - 1) + " levels)";
        for (std::size_t k = depth > shownLevels ? depth : 1; k <= depth; ++k)
            path.append("/").append(m_lister.name(m_lister[m_frames[k].nameIndex]));
        return path;
    }

    // Directories that came with their type are identified only when a
    // followed link needs comparing with them.
    bool onPath(const Identity &identity)
    {
        if (contains(m_ancestors, identity))
            return true;
        for (Frame &frame : m_frames) {
            if (!frame.hasIdentity) {
                frame.identity = identify(frame.fd, m_path);
                frame.hasIdentity = true;
            }
            if (frame.identity == identity)
                return true;
        }
        return false;
    }

    const std::string &m_path;
    const std::vector<Identity> &m_ancestors;
    Counts &m_counts;
    Lister m_lister;
    std::vector<Frame> m_frames;
};

// Replaces each task by the subtrees one level below it, counting what it
// holds besides. The directories split here are few, so each is fstat'ed to
// give its subtrees their ancestors.
std::vector<Task> splitOnce(int rootFd, const std::string &rootPath, const std::vector<Task> &tasks, Counts &counts)
{
    std::vector<Task> smaller;
    Lister lister;
    for (const Task &task : tasks) {
        if (task.hasIdentity && contains(task.ancestors, task.identity)) {
            ++counts.loops;
            continue;
        }
        const std::string path = rootPath + '/' + task.path;
        const int fd = openDirectory(rootFd, task.path.c_str(), counts, path);
        if (fd < 0)
            continue;
        std::vector<Identity> ancestors = task.ancestors;
        ancestors.push_back(task.hasIdentity ? task.identity : identify(fd, path));
        if (!lister.list(fd, counts))
            fail("cannot list " + path, errno);
        ::close(fd);
        const std::string prefix = task.path == "." ? std::string() : task.path + '/';
        for (std::size_t i = 0; i < lister.size(); ++i) {
            const Pending &pending = lister[i];
            smaller.push_back({prefix + lister.name(pending), ancestors, pending.hasIdentity, pending.identity});
        }
        lister.truncate(0);
    }
    return smaller;
}

void walkTask(int rootFd, const std::string &rootPath, const Task &task, Counts &counts)
{
    if (task.hasIdentity && contains(task.ancestors, task.identity)) {
        ++counts.loops;
        return;
    }
    const std::string path = rootPath + '/' + task.path;
    const int fd = openDirectory(rootFd, task.path.c_str(), counts, path);
    if (fd >= 0)
        SubtreeWalk(path, task.ancestors, counts).run(fd, task.hasIdentity, task.identity);
}

// Walks the tasks on `threads` threads, each taking the next one left.
Counts walkTasks(int rootFd, const std::string &rootPath, const std::vector<Task> &tasks, unsigned threads)
{
    std::atomic<std::size_t> nextTask{0};
    std::mutex mutex;
    Counts total;
    auto work = [&] {
        Counts counts;
        for (std::size_t i = nextTask++; i < tasks.size(); i = nextTask++)
            walkTask(rootFd, rootPath, tasks[i], counts);
        const std::lock_guard<std::mutex> lock(mutex);
        total.add(counts);
    };

    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error &error) {
            std::fprintf(stderr, "velmora-floorwalk: started %zu of %u threads: %s\n", workers.size(), threads,
                         error.what());
            break;
        }
    }
    if (workers.empty())
        work();
    for (std::thread &worker : workers)
        worker.join();
    return total;
}

Counts walkTree(const std::string &rootPath, unsigned threads)
{
    const int rootFd = ::open(rootPath.c_str(), openFlags);
    if (rootFd < 0)
        fail("cannot open " + rootPath, errno);
    Counts counts;
    if (statEntries) {
        struct statx status;
        describe(rootFd, "", AT_EMPTY_PATH, counts, status);
    }
    if (threads == 1) {
        SubtreeWalk(rootPath, {}, counts).run(rootFd, false, {}); // closes rootFd
        return counts;
    }
    std::vector<Task> tasks = splitOnce(rootFd, rootPath, {{".", {}, false, {}}}, counts);
    for (int round = 1; round < splitRounds && !tasks.empty() && tasks.size() < tasksPerThread * threads; ++round)
        tasks = splitOnce(rootFd, rootPath, tasks, counts);
    counts.add(walkTasks(rootFd, rootPath, tasks, threads));
    ::close(rootFd);
    return counts;
}

// One descriptor per level of the deepest path: take all the system allows.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

[[noreturn]] void usage()
{
    std::fprintf(stderr, "usage: velmora-floorwalk [-j THREADS] [--stat] ROOT\n");
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    unsigned threads = 1;
    int option;
    static const struct option longOptions[] = {{"stat", no_argument, nullptr, 's'}, {nullptr, 0, nullptr, 0}};
    while ((option = ::getopt_long(argc, argv, "j:", longOptions, nullptr)) != -1) {
        if (option == 's') {
            statEntries = true;
            continue;
        }
        if (option != 'j')
            usage();
        char *end = nullptr;
        const unsigned long requested = std::strtoul(optarg, &end, 10);
        if (*optarg == '\0' || *end != '\0' || requested < 1 || requested > 4096)
            usage();
        threads = static_cast<unsigned>(requested);
    }
    if (optind + 1 != argc)
        usage();

    raiseDescriptorLimit();
    const Counts counts = walkTree(argv[optind], threads);
    std::printf("folders %llu files %llu loops %llu unreadable %llu",
                static_cast<unsigned long long>(counts.folders), static_cast<unsigned long long>(counts.files),
                static_cast<unsigned long long>(counts.loops), static_cast<unsigned long long>(counts.unreadable));
    if (statEntries)
        std::printf(" bytes %llu disk %llu unstated %llu", static_cast<unsigned long long>(counts.bytes),
                    static_cast<unsigned long long>(counts.disk), static_cast<unsigned long long>(counts.unstated));
    std::printf("\n");
    return 0;
}
