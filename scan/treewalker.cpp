#include "treewalker.h"

#include "directoryreader.h"
#include "scopeddescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <unordered_set>
#include <vector>

namespace {

constexpr int openFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Paths handed to openat stay well below PATH_MAX.
constexpr std::size_t chunkBytes = PATH_MAX / 2;

struct IdentityHash
{
    std::size_t operator()(const DirectoryIdentity &identity) const
    {
        return std::hash<std::uint64_t>()(std::uint64_t(identity.inode) * 0x9E3779B97F4A7C15ULL
                                          ^ std::uint64_t(identity.device));
    }
};

bool identify(int fd, DirectoryIdentity &identity)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return false;
    identity = {status.st_dev, status.st_ino};
    return true;
}

struct Frame
{
    ScopedDescriptor fd;
    DirectoryIdentity identity;
    std::size_t nameEntry = 0; // the entry in the parent's listing that names this directory
    std::size_t pathBytes = 0; // length of the path from the root's parent to here
    std::size_t firstEntry = 0;
    std::size_t nextEntry = 0;
    std::size_t endEntry = 0;
    std::size_t firstNameByte = 0;
    std::size_t pendingDirectories = 0;
};

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
        , m_onPath(start.ancestors.begin(), start.ancestors.end())
    {
        m_limits.descriptorBudget = std::max<std::size_t>(m_limits.descriptorBudget, 2);
    }

    void run()
    {
        ScopedDescriptor start(::openat(m_baseFd, m_startPath.c_str(), openFlags));
        DirectoryIdentity identity;
        if (!start.isValid() || !identify(start.get(), identity)) {
            m_visitor.directoryUnreadable();
            return;
        }
        if (m_onPath.count(identity))
            return;
        pushFrame(std::move(start), identity, 0, m_startPath.size());
        while (!m_frames.empty())
            step();
    }

private:
    void step()
    {
        Frame &top = m_frames.back();
        if (top.nextEntry == top.endEntry) {
            popFrame();
            return;
        }
        const std::size_t index = top.nextEntry++;
        const EntryRecord &entry = m_entries[index];
        m_progress.count();
        if (!entry.isDirectory) {
            m_visitor.file(m_entries.name(entry));
            return;
        }
        m_visitor.directoryBegin(m_entries.name(entry));
        enterSubdirectory(index);
    }

    void enterSubdirectory(std::size_t index)
    {
        const std::size_t parent = m_frames.size() - 1;
        const EntryRecord entry = m_entries[index];
        if (entry.hasIdentity && m_onPath.count(entry.identity)) {
            finishedWithSubdirectory(parent);
            m_visitor.directoryEnd();
            return;
        }
        if (m_limits.sink && parent + 1 == m_limits.splitDepth) {
            deferSubdirectory(parent, m_entries.name(entry));
            finishedWithSubdirectory(parent);
            m_visitor.directoryEnd();
            return;
        }
        const int parentFd = descriptorOf(parent);
        ScopedDescriptor fd(parentFd >= 0 ? ::openat(parentFd, m_entries.terminatedName(entry), openFlags) : -1);
        finishedWithSubdirectory(parent);

        DirectoryIdentity identity = entry.identity;
        if (!fd.isValid() || (!entry.hasIdentity && !identify(fd.get(), identity))) {
            m_visitor.directoryUnreadable();
            m_visitor.directoryEnd();
            return;
        }
        if (m_onPath.count(identity)) {
            m_visitor.directoryEnd();
            return;
        }
        pushFrame(std::move(fd), identity, index, m_frames[parent].pathBytes + 1 + entry.nameLength);
    }

    void deferSubdirectory(std::size_t parent, std::string_view name)
    {
        std::string path;
        std::vector<DirectoryIdentity> ancestors = m_ancestors;
        for (std::size_t k = 0; k <= parent; ++k) {
            if (k > 0)
                path.append(frameName(k)).push_back('/');
            ancestors.push_back(m_frames[k].identity);
        }
        path.append(name);
        m_limits.sink->deferSubtree(std::move(path), std::move(ancestors));
    }

    void pushFrame(ScopedDescriptor fd, DirectoryIdentity identity, std::size_t nameEntry, std::size_t pathBytes)
    {
        Frame frame;
        frame.identity = identity;
        frame.nameEntry = nameEntry;
        frame.pathBytes = pathBytes;
        frame.firstEntry = m_entries.size();
        frame.firstNameByte = m_entries.nameBytes();
        // An error part way through leaves the entries read so far.
        m_reader.readAll(fd.get(), m_entries);
        frame.nextEntry = frame.firstEntry;
        frame.endEntry = m_entries.size();
        for (std::size_t i = frame.firstEntry; i < frame.endEntry; ++i)
            frame.pendingDirectories += m_entries[i].isDirectory;

        m_onPath.insert(identity);
        m_frames.push_back(std::move(frame));
        if (m_frames.back().pendingDirectories > 0)
            keepDescriptor(m_frames.size() - 1, std::move(fd));
    }

    void popFrame()
    {
        const std::size_t index = m_frames.size() - 1;
        releaseDescriptor(index);
        Frame &frame = m_frames.back();
        m_onPath.erase(frame.identity);
        m_entries.truncate(frame.firstEntry, frame.firstNameByte);
        m_frames.pop_back();
        if (!m_frames.empty())
            m_visitor.directoryEnd();
    }

    void finishedWithSubdirectory(std::size_t frame)
    {
        if (--m_frames[frame].pendingDirectories == 0)
            releaseDescriptor(frame);
    }

    std::string_view frameName(std::size_t frame) const
    {
        return m_entries.name(m_entries[m_frames[frame].nameEntry]);
    }

    // The frame's descriptor, reopened from its nearest open ancestor (or from
    // the start) when it was given up. Gives -1 when that fails or leads
    // somewhere else than before.
    int descriptorOf(std::size_t frame)
    {
        if (m_frames[frame].fd.isValid())
            return m_frames[frame].fd.get();

        std::size_t first = frame;
        while (first > 0 && !m_frames[first - 1].fd.isValid())
            --first;
        ScopedDescriptor chunkBase;
        int base = first == 0 ? m_baseFd : m_frames[first - 1].fd.get();
        std::string relative = first == 0 ? m_startPath : std::string();
        for (std::size_t k = std::max<std::size_t>(first, 1); k <= frame; ++k) {
            const std::string_view name = frameName(k);
            if (!relative.empty() && relative.size() + 1 + name.size() > chunkBytes) {
                chunkBase.reset(::openat(base, relative.c_str(), openFlags));
                if (!chunkBase.isValid())
                    return -1;
                base = chunkBase.get();
                relative.clear();
            }
            if (!relative.empty())
                relative.push_back('/');
            relative.append(name);
        }
        ScopedDescriptor fd(::openat(base, relative.c_str(), openFlags));
        DirectoryIdentity identity;
        if (!fd.isValid() || !identify(fd.get(), identity) || !(identity == m_frames[frame].identity))
            return -1;
        keepDescriptor(frame, std::move(fd));
        return m_frames[frame].fd.get();
    }

    void keepDescriptor(std::size_t frame, ScopedDescriptor fd)
    {
        m_frames[frame].fd = std::move(fd);
        m_openFrames.insert(std::lower_bound(m_openFrames.begin(), m_openFrames.end(), frame), frame);
        while (m_openFrames.size() > m_limits.descriptorBudget)
            releaseDescriptor(thinningCandidate(frame));
    }

    void releaseDescriptor(std::size_t frame)
    {
        if (!m_frames[frame].fd.isValid())
            return;
        m_frames[frame].fd.reset();
        m_openFrames.erase(std::lower_bound(m_openFrames.begin(), m_openFrames.end(), frame));
    }

    // The open frame whose loss leaves the shortest stretch of path between
    // its open neighbours, so that open directories stay spread evenly along
    // a deep path and no reopening has far to go. The deepest open frame and
    // the one just opened are kept.
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
    WalkLimits m_limits;
    std::vector<Frame> m_frames;
    std::vector<std::size_t> m_openFrames; // frames holding a descriptor, shallowest first
    std::unordered_set<DirectoryIdentity, IdentityHash> m_onPath;
    EntryTable m_entries;
    DirectoryReader m_reader;
};

} // namespace

void walkFrom(const WalkStart &start, TreeVisitor &visitor, const WalkProgress *progress, const WalkLimits &limits)
{
    TreeWalk(start, visitor, progress, limits).run();
}
