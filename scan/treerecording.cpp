#include "treerecording.h"

namespace {

// Each event is one byte of kind; a name follows its length, seven bits a
// byte, lowest first.
// A subtree follows its index in the same way.
enum Kind : char { File = 'f', Begin = 'b', End = 'e', Unreadable = 'u', Subtree = 's' };

std::size_t readLength(const char *&at)
{
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*at++);
        length |= std::size_t(byte & 0x7F) << shift;
        if (byte < 0x80)
            return length;
    }
}

} // namespace

void TreeRecording::appendLength(std::size_t length)
{
    while (length >= 0x80) {
        m_events.push_back(char(0x80 | (length & 0x7F)));
        length >>= 7;
    }
    m_events.push_back(char(length));
}

void TreeRecording::appendName(char kind, std::string_view name)
{
    m_events.push_back(kind);
    appendLength(name.size());
    m_events.append(name);
    m_nameBytes += name.size();
}

void TreeRecording::file(std::string_view name)
{
    appendName(File, name);
}

void TreeRecording::directoryBegin(std::string_view name)
{
    appendName(Begin, name);
}

void TreeRecording::directoryEnd()
{
    m_events.push_back(End);
}

void TreeRecording::directoryUnreadable()
{
    m_events.push_back(Unreadable);
}

TreeRecording &TreeRecording::addSubtree()
{
    m_events.push_back(Subtree);
    appendLength(m_subtrees.size());
    return *m_subtrees.emplace_back(std::make_unique<TreeRecording>());
}

void TreeRecording::replay(TreeVisitor &visitor, const WalkProgress *progress) const
{
    ProgressCounter counter(progress);
    replayInto(visitor, counter);
}

void TreeRecording::replayInto(TreeVisitor &visitor, ProgressCounter &progress) const
{
    const char *at = m_events.data();
    const char *const end = at + m_events.size();
    while (at < end) {
        const char kind = *at++;
        switch (kind) {
        case End:
            visitor.directoryEnd();
            continue;
        case Unreadable:
            visitor.directoryUnreadable();
            continue;
        case Subtree:
            m_subtrees[readLength(at)]->replayInto(visitor, progress);
            continue;
        default:
            break;
        }
        const std::size_t length = readLength(at);
        const std::string_view name(at, length);
        at += length;
        if (kind == File)
            visitor.file(name);
        else
            visitor.directoryBegin(name);
        progress.count();
    }
}

std::uint64_t TreeRecording::nameBytes() const
{
    std::uint64_t bytes = m_nameBytes;
    for (const auto &subtree : m_subtrees)
        bytes += subtree->nameBytes();
    return bytes;
}

void TreeRecording::clear()
{
    std::string().swap(m_events);
    m_subtrees.clear();
    m_nameBytes = 0;
}
