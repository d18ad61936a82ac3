#include "treewalker.h"

#include "descriptorbudget.h"
#include "directoryreader.h"
#include "filesystemtraits.h"
#include "scopeddescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <limits>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

constexpr int openFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Paths handed to openat stay well below PATH_MAX.
constexpr std::size_t chunkBytes = PATH_MAX / 2;

// How long a walk waits for a descriptor that nothing of its own can free.
constexpr auto descriptorPatience = std::chrono::seconds(2);

struct Frame
{
    ScopedDescriptor fd;
    DirectoryIdentity identity;
    bool exactListingInodes = false; // its listing gives its subdirectories' own inodes
    std::size_t nameEntry = 0; // the entry in the parent's listing that names this directory
    std::size_t pathBytes = 0; // length of the path from the root's parent to here
    std::size_t firstEntry = 0;
    std::size_t nextEntry = 0;
    std::size_t endEntry = 0;
    std::size_t firstNameByte = 0;
    std::size_t pendingDirectories = 0;
    std::size_t handOverFrom = 0; // no directory before this entry can be handed over
};

// Descriptors: the top frame keeps its own while it is the top; a frame
// below keeps its own only while it still has subdirectories to open, and
// only as far as the budget allows. A frame that has given up its
// descriptor and still needs it ("stranded") gets it back on the way up,
// through ".." of the child just left, or else by its path from the nearest
// open ancestor.
class TreeWalk
{
public:
    TreeWalk(const WalkStart &start, TreeVisitor &visitor, const WalkProgress *progress, const WalkLimits &limits)
        : m_baseFd(start.baseFd)
        , m_startPath(start.path.c_str())
        , m_ancestors(start.ancestors)
        , m_visitor(visitor)
        , m_progress(progress)
        , m_limits(limits)
        , m_budget(std::max(limits.descriptorBudget, minimumWalkDescriptors))
        , m_enterPseudoFileSystems(start.rootOnPseudoFileSystem)
        , m_onPath(start.ancestors.begin(), start.ancestors.end())
    {
    }

    void run()
    {
        ScopedDescriptor start(openDirectoryPath(m_baseFd, m_startPath));
        int error = errno;
        DirectoryIdentity identity;
        if (start.isValid() && !identifyDirectory(start.get(), identity)) {
            error = errno;
            start.reset();
        }
        if (!start.isValid()) {
            m_visitor.directoryUnreadable(error);
            return;
        }
        if (m_onPath.count(identity))
            return;
        const FileSystemTraits traits = fileSystemTraits(start.get());
        if (m_ancestors.empty())
            m_enterPseudoFileSystems = traits.kernelPseudo;
        else if (traits.kernelPseudo && !m_enterPseudoFileSystems && identity.device != m_ancestors.back().device)
            return;
        pushFrame(std::move(start), identity, traits.exactListingInodes, 0, m_startPath.size());
        while (!m_frames.empty() && !stopped())
            step();
    }

private:
    bool stopped() const { return m_limits.stop && m_limits.stop->load(std::memory_order_relaxed); }

    void step()
    {
        Frame &top = m_frames.back();
        if (top.nextEntry == top.endEntry) {
            popFrame();
            return;
        }
        if (m_limits.sink && m_limits.sink->wanted().load(std::memory_order_relaxed) > 0)
            handOverSubdirectory();
        const std::size_t index = top.nextEntry++;
        const EntryRecord &entry = m_entries[index];
        m_progress.count();
        if (!entry.isDirectory) {
            m_visitor.file(m_entries.name(entry));
            return;
        }
        m_visitor.directoryBegin(m_entries.name(entry));
        if (entry.handedOver) {
            m_limits.sink->placeSubtree(m_tickets.at(index));
            m_tickets.erase(index);
            m_visitor.directoryEnd();
            return;
        }
        enterSubdirectory(index);
    }

    // Hands over the subdirectory still to be entered that lies nearest the
    // start, which is likely to hold the most work. Cursors that only move
    // forward keep the search cheap however often it is made.
    void handOverSubdirectory()
    {
        for (; m_firstPendingFrame < m_frames.size(); ++m_firstPendingFrame) {
            Frame &frame = m_frames[m_firstPendingFrame];
            if (frame.pendingDirectories == 0)
                continue;
            frame.handOverFrom = std::max(frame.handOverFrom, frame.nextEntry);
            while (frame.handOverFrom < frame.endEntry
                   && (!m_entries[frame.handOverFrom].isDirectory || m_entries[frame.handOverFrom].handedOver))
                ++frame.handOverFrom;
            if (frame.handOverFrom == frame.endEntry)
                continue;
            handOver(m_firstPendingFrame, frame.handOverFrom);
            return;
        }
    }

    void handOver(std::size_t frame, std::size_t index)
    {
        EntryRecord &entry = m_entries[index];
        // The other walk opens it by its path, which must not grow too long.
        if (m_frames[frame].pathBytes + 1 + entry.nameLength >= chunkBytes)
            return;
        std::vector<DirectoryIdentity> ancestors = m_ancestors;
        for (std::size_t k = 0; k <= frame; ++k)
            ancestors.push_back(m_frames[k].identity);
        m_tickets.emplace(index, m_limits.sink->takeSubtree(pathTo(frame, m_entries.name(entry)), std::move(ancestors)));
        entry.handedOver = true;
        subdirectoryDone(frame);
    }

    // The path from the walk's start to an entry of the frame.
    std::string pathTo(std::size_t frame, std::string_view name) const
    {
        std::string path;
        for (std::size_t k = 1; k <= frame; ++k)
            path.append(frameName(k)).push_back('/');
        return path.append(name);
    }

    void enterSubdirectory(std::size_t index)
    {
        const std::size_t parent = m_frames.size() - 1;
        const EntryRecord entry = m_entries[index];
        if (entry.hasIdentity && m_onPath.count(entry.identity)) {
            subdirectoryDone(parent);
            m_visitor.directoryEnd();
            return;
        }
        ScopedDescriptor fd;
        const int parentFd = descriptorOf(parent);
        int error = errno;
        if (parentFd >= 0) {
            fd.reset(openDirectory(parentFd, m_entries.terminatedName(entry)));
            error = errno;
        }
        subdirectoryDone(parent);

        const Frame &above = m_frames[parent];
        DirectoryIdentity identity = entry.identity;
        // Where the listing's inode is the directory's own, it spares a stat.
        bool identified = entry.hasIdentity;
        if (!identified && above.exactListingInodes && m_limits.mountPoints
            && !m_limits.mountPoints->mayHoldMountPoint(above.identity)) {
            identity = {above.identity.device, entry.identity.inode};
            identified = true;
        }
        if (fd.isValid() && !identified && !identifyDirectory(fd.get(), identity)) {
            error = errno;
            fd.reset();
        }
        if (!fd.isValid()) {
            m_visitor.directoryUnreadable(error);
            m_visitor.directoryEnd();
            return;
        }
        if (m_onPath.count(identity)) {
            m_visitor.directoryEnd();
            return;
        }
        // The file system is asked about only where the device changes, so
        // that ordinary trees pay nothing for it.
        bool exactListingInodes = above.exactListingInodes;
        if (identity.device != above.identity.device) {
            const FileSystemTraits traits = fileSystemTraits(fd.get());
            if (traits.kernelPseudo && !m_enterPseudoFileSystems) {
                m_visitor.directoryEnd();
                return;
            }
            exactListingInodes = traits.exactListingInodes;
        }
        pushFrame(std::move(fd), identity, exactListingInodes, index, above.pathBytes + 1 + entry.nameLength);
    }

    void pushFrame(ScopedDescriptor fd, DirectoryIdentity identity, bool exactListingInodes, std::size_t nameEntry,
                   std::size_t pathBytes)
    {
        if (!m_frames.empty() && m_frames.back().pendingDirectories == 0)
            releaseDescriptor(m_frames.size() - 1);

        Frame frame;
        frame.identity = identity;
        frame.exactListingInodes = exactListingInodes;
        frame.nameEntry = nameEntry;
        frame.pathBytes = pathBytes;
        frame.firstEntry = m_entries.size();
        frame.firstNameByte = m_entries.nameBytes();
        // An error part way through leaves the entries read so far. Files
        // before the first subdirectory need not wait in the table.
        m_reader.readAll(fd.get(), m_entries, [this](std::string_view name) {
            m_progress.count();
            m_visitor.file(name);
        });
        frame.nextEntry = frame.firstEntry;
        frame.endEntry = m_entries.size();
        for (std::size_t i = frame.firstEntry; i < frame.endEntry; ++i)
            frame.pendingDirectories += m_entries[i].isDirectory;

        m_onPath.insert(identity);
        m_strandedFrames += frame.pendingDirectories > 0; // until it keeps the descriptor below
        m_frames.push_back(std::move(frame));
        keepDescriptor(m_frames.size() - 1, std::move(fd));
    }

    void popFrame()
    {
        const std::size_t index = m_frames.size() - 1;
        ScopedDescriptor own = takeDescriptor(index);
        Frame &frame = m_frames.back();
        m_onPath.erase(frame.identity);
        m_entries.truncate(frame.firstEntry, frame.firstNameByte);
        m_frames.pop_back();
        m_firstPendingFrame = std::min(m_firstPendingFrame, m_frames.size());
        if (m_frames.empty())
            return;
        restoreThroughChild(index - 1, own);
        m_visitor.directoryEnd();
    }

    void subdirectoryDone(std::size_t frame)
    {
        if (--m_frames[frame].pendingDirectories == 0 && !m_frames[frame].fd.isValid())
            --m_strandedFrames;
    }

    // Whether a frame that has just become the top will want its
    // descriptor: to open more subdirectories, or to lead back up to a
    // stranded ancestor.
    bool needsDescriptor(std::size_t frame) const
    {
        return m_frames[frame].pendingDirectories > 0
            || (m_strandedFrames > 0 && frame > 0 && !m_frames[frame - 1].fd.isValid());
    }

    // ".." of the child just left leads back in one step, unless the child
    // was reached through a link or a mount, or the tree changed meanwhile.
    void restoreThroughChild(std::size_t frame, const ScopedDescriptor &child)
    {
        if (m_frames[frame].fd.isValid() || !child.isValid() || !needsDescriptor(frame))
            return;
        ScopedDescriptor fd(openDirectory(child.get(), ".."));
        DirectoryIdentity identity;
        if (fd.isValid() && identifyDirectory(fd.get(), identity) && identity == m_frames[frame].identity)
            keepDescriptor(frame, std::move(fd));
    }

    std::string_view frameName(std::size_t frame) const
    {
        return m_entries.name(m_entries[m_frames[frame].nameEntry]);
    }

    // The frame's descriptor, reopened by its path from its nearest open
    // ancestor (or from the start) when it was given up. Gives -1, with
    // errno set, when that fails or leads somewhere else than before.
    int descriptorOf(std::size_t frame)
    {
        if (m_frames[frame].fd.isValid())
            return m_frames[frame].fd.get();

        // On the way, up to two descriptors are open besides those kept.
        while (!m_openFrames.empty() && m_openFrames.size() + 2 > m_budget)
            releaseDescriptor(m_openFrames.front());
        std::size_t first = frame;
        while (first > 0 && !m_frames[first - 1].fd.isValid())
            --first;
        ScopedDescriptor chunkBase;
        int base = first == 0 ? m_baseFd : m_frames[first - 1].fd.get();
        std::string relative = first == 0 ? m_startPath : std::string();
        for (std::size_t k = std::max<std::size_t>(first, 1); k <= frame; ++k) {
            const std::string_view name = frameName(k);
            if (!relative.empty() && relative.size() + 1 + name.size() > chunkBytes) {
                ScopedDescriptor next(openDirectoryPath(base, relative));
                if (!next.isValid())
                    return -1;
                chunkBase = std::move(next);
                base = chunkBase.get();
                relative.clear();
            }
            if (!relative.empty())
                relative.push_back('/');
            relative.append(name);
        }
        ScopedDescriptor fd(openDirectoryPath(base, relative));
        DirectoryIdentity identity;
        if (!fd.isValid() || !identifyDirectory(fd.get(), identity))
            return -1;
        if (!(identity == m_frames[frame].identity)) {
            errno = ENOENT; // what was there has moved away
            return -1;
        }
        chunkBase.reset();
        keepDescriptor(frame, std::move(fd));
        return m_frames[frame].fd.get();
    }

    // openat that never mistakes a shortage of descriptors for a directory
    // that cannot be read: it gives back descriptors and tries again.
    int openDirectory(int base, const char *path)
    {
        std::chrono::steady_clock::time_point deadline{};
        for (;;) {
            const int fd = ::openat(base, path, openFlags);
            if (fd >= 0 || (errno != EMFILE && errno != ENFILE))
                return fd;
            const int error = errno;
            // Fewer are free than planned: hold no more than now from here on.
            m_budget = std::max(minimumWalkDescriptors, m_openFrames.size());
            if (releaseOneExcept(base))
                continue;
            const auto now = std::chrono::steady_clock::now();
            if (deadline == std::chrono::steady_clock::time_point{})
                deadline = now + descriptorPatience;
            if (now > deadline)
                throw std::system_error(error, std::generic_category(), "cannot open a directory");
            if (stopped()) {
                errno = error;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // A path of several names may cross more links than one lookup may
    // follow; then it is followed one name at a time, as the kernel would.
    int openDirectoryPath(int base, const std::string &path)
    {
        const int fd = openDirectory(base, path.c_str());
        if (fd >= 0 || errno != ELOOP || path.find('/') == std::string::npos)
            return fd;
        ScopedDescriptor reached;
        if (path.front() == '/') {
            reached.reset(openDirectory(AT_FDCWD, "/"));
            if (!reached.isValid())
                return -1;
        }
        std::string name;
        for (std::size_t begin = 0; begin < path.size();) {
            const std::size_t end = std::min(path.find('/', begin), path.size());
            if (end > begin) {
                name.assign(path, begin, end - begin);
                ScopedDescriptor next(openDirectory(reached.isValid() ? reached.get() : base, name.c_str()));
                if (!next.isValid())
                    return -1;
                reached = std::move(next);
            }
            begin = end + 1;
        }
        return reached.release();
    }

    bool releaseOneExcept(int inUse)
    {
        for (const std::size_t frame : m_openFrames) {
            if (m_frames[frame].fd.get() != inUse) {
                releaseDescriptor(frame);
                return true;
            }
        }
        return false;
    }

    // Called only for a frame without a descriptor.
    void keepDescriptor(std::size_t frame, ScopedDescriptor fd)
    {
        if (m_frames[frame].pendingDirectories > 0)
            --m_strandedFrames;
        m_frames[frame].fd = std::move(fd);
        m_openFrames.insert(std::lower_bound(m_openFrames.begin(), m_openFrames.end(), frame), frame);
        // One more is always left for the next directory to open.
        while (m_openFrames.size() + 1 > m_budget && m_openFrames.size() > 1)
            releaseDescriptor(thinningCandidate(frame));
    }

    ScopedDescriptor takeDescriptor(std::size_t frame)
    {
        if (m_frames[frame].fd.isValid())
            m_openFrames.erase(std::lower_bound(m_openFrames.begin(), m_openFrames.end(), frame));
        return std::move(m_frames[frame].fd);
    }

    void releaseDescriptor(std::size_t frame)
    {
        if (!m_frames[frame].fd.isValid())
            return;
        takeDescriptor(frame).reset();
        m_strandedFrames += m_frames[frame].pendingDirectories > 0;
    }

    // The open frame whose loss leaves the shortest stretch of path between
    // its open neighbours, so that open directories stay spread evenly along
    // a deep path and no reopening by path has far to go. The deepest open
    // frame and the one just opened are kept.
    std::size_t thinningCandidate(std::size_t justOpened) const
    {
        std::size_t best = m_openFrames.front();
        std::size_t bestGap = std::numeric_limits<std::size_t>::max();
        for (std::size_t i = 0; i + 1 < m_openFrames.size(); ++i) {
            if (m_openFrames[i] == justOpened)
                continue;
            const std::size_t before = i > 0 ? m_frames[m_openFrames[i - 1]].pathBytes : 0;
            const std::size_t gap = m_frames[m_openFrames[i + 1]].pathBytes - before;
            if (gap < bestGap) {
                bestGap = gap;
                best = m_openFrames[i];
            }
        }
        return best;
    }

    const int m_baseFd;
    const std::string m_startPath;
    const std::vector<DirectoryIdentity> &m_ancestors;
    TreeVisitor &m_visitor;
    ProgressCounter m_progress;
    const WalkLimits m_limits;
    std::size_t m_budget;
    bool m_enterPseudoFileSystems;
    std::vector<Frame> m_frames;
    std::vector<std::size_t> m_openFrames; // frames holding a descriptor, shallowest first
    std::size_t m_strandedFrames = 0;      // frames with subdirectories left to open but no descriptor
    std::size_t m_firstPendingFrame = 0;   // frames above it have no subdirectory left to enter
    std::unordered_set<DirectoryIdentity, DirectoryIdentityHash> m_onPath;
    std::unordered_map<std::size_t, std::size_t> m_tickets; // handed-over entries and their tickets
    EntryTable m_entries;
    DirectoryReader m_reader;
};

} // namespace

void walkFrom(const WalkStart &start, TreeVisitor &visitor, const WalkProgress *progress, const WalkLimits &limits)
{
    TreeWalk(start, visitor, progress, limits).run();
}
