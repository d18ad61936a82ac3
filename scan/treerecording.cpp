#include "treerecording.h"

#include "recordednumbers.h"

#include <algorithm>
#include <cassert>

namespace {

// Each event is one byte of kind; a name follows its length, seven bits a
// byte, lowest first; an unreadable directory, one not entered and a subtree
// follow their error number, their reason and their index in the same way;
// metadata follows as metadatarecord.h writes it.
enum Kind : char {
    File = 'f',
    Begin = 'b',
    End = 'e',
    Unreadable = 'u',
    NotEntered = 'n',
    Subtree = 's',
    Metadata = 'm',
    Excluded = 'x',
};

// A huge page: large enough that allocation costs little per event, small
// enough that releasing a replayed block soon gives memory back. Blocks grow
// to it, since the walks of small subtrees make many small recordings.
constexpr std::size_t largestBlockBytes = hugePageBytes;

} // namespace

char *TreeRecording::room(std::size_t bytes)
{
    if (m_blocks.empty() || m_blocks.back().memory.capacity() - m_blocks.back().size < bytes)
        addBlock(bytes);
    assert(m_blocks.back().memory.capacity() - m_blocks.back().size >= bytes);
    return m_blocks.back().memory.data() + m_blocks.back().size;
}

void TreeRecording::addBlock(std::size_t bytes)
{
    const std::size_t grown = m_blocks.empty() ? 0 : std::min(2 * m_blocks.back().memory.capacity(), largestBlockBytes);
    m_blocks.emplace_back().memory.reserve(std::max(grown, bytes));
}

void TreeRecording::appendNumber(char kind, std::uint64_t number)
{
    char *at = room(1 + maximumNumberBytes);
    char *const start = at;
    *at++ = kind;
    at = writeNumber(at, number);
    m_blocks.back().size += std::size_t(at - start);
}

void TreeRecording::appendName(char kind, std::string_view name)
{
    char *at = room(1 + maximumNumberBytes + name.size());
    char *const start = at;
    *at++ = kind;
    at = std::copy(name.begin(), name.end(), writeNumber(at, name.size()));
    m_blocks.back().size += std::size_t(at - start);
}

void TreeRecording::appendMetadata(const EntryMetadata &metadata, bool ofRoot)
{
    char *at = room(1 + maximumMetadataBytes);
    char *const start = at;
    *at++ = Metadata;
    at = writeMetadata(at, metadata, ofRoot, m_devices);
    m_blocks.back().size += std::size_t(at - start);
}

void TreeRecording::file(std::string_view name)
{
    appendName(File, name);
}

void TreeRecording::directoryBegin(std::string_view name)
{
    appendName(Begin, name);
}

void TreeRecording::excluded(std::string_view name)
{
    appendName(Excluded, name);
}

void TreeRecording::directoryEnd()
{
    *room(1) = End;
    ++m_blocks.back().size;
}

void TreeRecording::directoryUnreadable(int error)
{
    appendNumber(Unreadable, std::uint64_t(error));
}

void TreeRecording::directoryNotEntered(NotEnteredReason reason)
{
    appendNumber(NotEntered, std::uint64_t(reason));
}

void TreeRecording::rootMetadata(const EntryMetadata &metadata)
{
    appendMetadata(metadata, true);
}

void TreeRecording::entryMetadata(const EntryMetadata &metadata)
{
    appendMetadata(metadata, false);
    // A directory or a file a link leads to may be met where it is, too.
    if (metadata.readable() && metadata.throughLink)
        m_linkTargets.push_back(metadata.identity);
}

std::vector<FileIdentity> TreeRecording::linkTargets() const
{
    std::vector<FileIdentity> targets = m_linkTargets;
    for (const auto &subtree : m_subtrees) {
        if (subtree) {
            const std::vector<FileIdentity> below = subtree->linkTargets();
            targets.insert(targets.end(), below.begin(), below.end());
        }
    }
    return targets;
}

void TreeRecording::addSubtree(std::unique_ptr<TreeRecording> subtree)
{
    appendNumber(Subtree, m_subtrees.size());
    m_subtrees.push_back(std::move(subtree));
}

void TreeRecording::replay(TreeVisitor &visitor, const WalkProgress *progress) const
{
    ProgressCounter counter(progress);
    replayInto(visitor, counter);
}

bool TreeRecording::replayAndRelease(TreeVisitor &visitor, const WalkProgress *progress,
                                     const std::function<bool()> &afterPart)
{
    ProgressCounter counter(progress);
    const bool whole = releaseInto(visitor, counter, afterPart);
    clear();
    return whole;
}

void TreeRecording::replayInto(TreeVisitor &visitor, ProgressCounter &progress) const
{
    for (const Block &block : m_blocks)
        replayBlock(block, visitor, progress, [&](std::size_t subtree) { m_subtrees[subtree]->replayInto(visitor, progress); });
}

bool TreeRecording::releaseInto(TreeVisitor &visitor, ProgressCounter &progress, const std::function<bool()> &afterPart)
{
    bool going = true;
    for (Block &block : m_blocks) {
        replayBlock(block, visitor, progress, [&](std::size_t subtree) {
            if (going)
                going = m_subtrees[subtree]->releaseInto(visitor, progress, afterPart);
            m_subtrees[subtree].reset();
        });
        block = Block();
        if (!going || !afterPart())
            return false;
    }
    return true;
}

void TreeRecording::replayBlock(const Block &block, TreeVisitor &visitor, ProgressCounter &progress,
                                const std::function<void(std::size_t)> &replaySubtree) const
{
    const char *at = block.memory.data();
    const char *const end = at + block.size;
    while (at < end) {
        const char kind = *at++;
        switch (kind) {
        case End:
            visitor.directoryEnd();
            continue;
        case Unreadable:
            visitor.directoryUnreadable(int(readNumber(at)));
            continue;
        case NotEntered:
            visitor.directoryNotEntered(NotEnteredReason(readNumber(at)));
            continue;
        case Subtree:
            replaySubtree(readNumber(at));
            continue;
        case Metadata: {
            EntryMetadata metadata;
            if (readMetadata(at, metadata, m_devices))
                visitor.rootMetadata(metadata);
            else
                visitor.entryMetadata(metadata);
            continue;
        }
        default:
            assert(kind == File || kind == Begin || kind == Excluded);
            break;
        }
        const std::size_t length = readNumber(at);
        const std::string_view name(at, length);
        at += length;
        if (kind == File)
            visitor.file(name);
        else if (kind == Begin)
            visitor.directoryBegin(name);
        else
            visitor.excluded(name);
        progress.count();
    }
    // Events are whole within their block.
    assert(at == end);
}

void TreeRecording::clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_subtrees.clear();
    m_devices = DeviceTable();
    std::vector<FileIdentity>().swap(m_linkTargets);
}
