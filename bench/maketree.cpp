// Builds the synthetic tree that bench/run.sh maps.
//
//   velmora-maketree SHAPE ROOT
//
// SHAPE is a mixed tree of about 5 thousand (tiny), 21 thousand (small), 210
// thousand (default) or 1 million (large) entries; one flat directory of
// 300 thousand files (flat) or 30 thousand (flat-small); or a wide tree of
// 1,884 directories and 18,850 files without links (wide).
//
// The tree is the same on every run and machine for a given size (fixed seed,
// no distribution whose output the library may choose), so timings compare.
// It prints what it made and what a walk that follows links will count, which
// run.sh checks the walkers' output against.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int depth = 4;

struct Shape
{
    std::string_view name;
    int fanout[depth]; // subdirectories of each directory, level by level
    int innerFiles;    // in the root and every directory above the leaves
    int leafFiles;
    int fileLinks;
    int directoryLinks;
    int danglingLinks;
};

// A fanout of 0 ends the tree above the leaves; such a shape has no links.
constexpr Shape shapes[] = {
    {"tiny", {4, 4, 4, 8}, 2, 9, 40, 4, 2},
    {"small", {4, 4, 8, 16}, 2, 9, 200, 20, 10},
    {"default", {8, 8, 8, 40}, 2, 9, 2000, 200, 100},
    {"large", {10, 10, 10, 100}, 2, 9, 10000, 1000, 500},
    {"flat", {0, 0, 0, 0}, 300000, 0, 0, 0, 0},
    {"flat-small", {0, 0, 0, 0}, 30000, 0, 0, 0, 0},
    {"wide", {12, 12, 12, 0}, 10, 0, 0, 0, 0},
};

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "velmora-maketree: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

// Names of varied length: mostly short, some long, a tenth with blanks, one
// in a hundred outside ASCII (two- and three-byte UTF-8), a few hidden.
class Names
{
public:
    std::string directory(int index) { return stem() + '_' + std::to_string(index); }

    std::string file(int index)
    {
        static constexpr const char *extensions[] = {".txt", ".jpg", ".cpp", ".h", ".tar.gz", ""};
        return stem() + '-' + std::to_string(index) + extensions[below(std::size(extensions))];
    }

    unsigned below(std::size_t n) { return static_cast<unsigned>(m_random() % n); }

private:
    std::string stem()
    {
        static constexpr const char *wide[] = {"café", "résumé", "naïve", "Zürich", "Straße",
                                               "Ελληνικά", "αρχεία", "Ωμέγα", "日本語"};
        static constexpr const char *spaced[] = {"Project notes", "my documents", "old photos",
                                                 "Q3 report", "build output", "to sort later", "a b c"};
        static constexpr std::string_view letters = "abcdefghijklmnopqrstuvwxyz0123456789_";

        const unsigned pick = below(1000);
        if (pick < 10)
            return wide[below(std::size(wide))];
        if (pick < 110)
            return spaced[below(std::size(spaced))];
        std::string stem = pick < 115 ? "." : "";
        const unsigned length = pick < 160 ? 30 + below(60) : 1 + below(12);
        for (unsigned i = 0; i < length; ++i)
            stem += letters[below(letters.size())];
        return stem;
    }

    std::mt19937 m_random{20240611};
};

class Builder
{
public:
    explicit Builder(const Shape &shape) : m_shape(shape) {}

    void build(const std::string &root)
    {
        if (::mkdir(root.c_str(), 0755) != 0)
            fail("cannot create " + root);
        const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (rootFd < 0)
            fail("cannot open " + root);
        fill(rootFd, "", 0);
        link(rootFd);
        ::close(rootFd);
    }

    void print() const
    {
        const std::int64_t links = m_shape.fileLinks + m_shape.directoryLinks + m_shape.danglingLinks;
        std::printf("made %lld directories, %lld files and %lld symbolic links"
                    " (%d to files, %d to directories, %d dangling)\n",
                    static_cast<long long>(m_directories), static_cast<long long>(m_files),
                    static_cast<long long>(links), m_shape.fileLinks, m_shape.directoryLinks,
                    m_shape.danglingLinks);
        std::printf("a walk that follows links counts %lld folders and %lld files: %lld entries\n",
                    static_cast<long long>(m_seenFolders), static_cast<long long>(m_seenFiles),
                    static_cast<long long>(m_seenFolders + m_seenFiles));
    }

private:
    // Paths are kept relative to the root so that links can be relative too
    // and the tree stays valid wherever it is.
    void fill(int fd, const std::string &path, int level)
    {
        const bool leaf = level == depth;
        if (leaf)
            m_leaves.push_back({path, {}, 0});
        else if (level > 0)
            m_inner[level].push_back(path);

        const int files = leaf ? m_shape.leafFiles : m_shape.innerFiles;
        const unsigned linkTarget = m_names.below(files);
        for (int i = 0; i < files; ++i) {
            const std::string name = m_names.file(i);
            const int file = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (file < 0)
                fail("cannot create " + path + '/' + name);
            ::close(file);
            if (leaf && i == static_cast<int>(linkTarget))
                m_leaves.back().linkTarget = name;
        }
        m_files += files;
        if (leaf)
            return;

        for (int i = 0; i < m_shape.fanout[level]; ++i) {
            const std::string name = m_names.directory(i);
            if (::mkdirat(fd, name.c_str(), 0755) != 0)
                fail("cannot create " + path + '/' + name);
            const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (sub < 0)
                fail("cannot open " + path + '/' + name);
            ++m_directories;
            fill(sub, path.empty() ? name : path + '/' + name, level + 1);
            ::close(sub);
        }
    }

    static std::string up(int levels)
    {
        std::string dots;
        for (int i = 0; i < levels; ++i)
            dots += "../";
        return dots;
    }

    void symlink(int rootFd, const std::string &target, const std::string &where)
    {
        if (::symlinkat(target.c_str(), rootFd, where.c_str()) != 0)
            fail("cannot create link " + where);
    }

    void link(int rootFd)
    {
        const std::size_t leaves = m_leaves.size();

        // Leaf to a file in a leaf half the tree away.
        for (int i = 0; i < m_shape.fileLinks; ++i) {
            Leaf &from = m_leaves[(std::size_t(i) * 7919) % leaves];
            const Leaf &to = m_leaves[(std::size_t(i) * 7919 + leaves / 2 + i) % leaves];
            symlink(rootFd, up(depth) + to.path + '/' + to.linkTarget,
                    from.path + "/link " + std::to_string(i));
            ++from.extraFiles;
        }

        // Level 3 to a leaf: a leaf is never an ancestor of a directory above
        // the leaves, so each of these is entered.
        const std::vector<std::string> &parents = m_inner[depth - 1];
        for (int i = 0; i < m_shape.directoryLinks; ++i) {
            const Leaf &to = m_leaves[(std::size_t(i) * 104729 + leaves / 3) % leaves];
            symlink(rootFd, up(depth - 1) + to.path,
                    parents[(std::size_t(i) * 31) % parents.size()] + "/shortcut " + std::to_string(i));
            ++m_seenFolders;
            m_seenFiles += m_shape.leafFiles + to.extraFiles;
        }

        // Level 2, pointing nowhere.
        const std::vector<std::string> &holders = m_inner[depth - 2];
        for (int i = 0; i < m_shape.danglingLinks; ++i)
            symlink(rootFd, "missing/target " + std::to_string(i),
                    holders[(std::size_t(i) * 13) % holders.size()] + "/dangling " + std::to_string(i));

        m_seenFolders += m_directories;
        m_seenFiles += m_files + m_shape.fileLinks + m_shape.danglingLinks;
    }

    struct Leaf
    {
        std::string path;
        std::string linkTarget;
        int extraFiles; // links to files placed in it
    };

    const Shape &m_shape;
    Names m_names;
    std::vector<Leaf> m_leaves;
    std::vector<std::string> m_inner[depth];
    std::int64_t m_directories = 0;
    std::int64_t m_files = 0;
    std::int64_t m_seenFolders = 0;
    std::int64_t m_seenFiles = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmora-maketree tiny|small|default|large|flat|flat-small|wide ROOT\n");
        return 2;
    }
    for (const Shape &shape : shapes) {
        if (shape.name == argv[1]) {
            Builder builder(shape);
            builder.build(argv[2]);
            builder.print();
            return 0;
        }
    }
    std::fprintf(stderr, "velmora-maketree: unknown shape %s\n", argv[1]);
    return 2;
}
