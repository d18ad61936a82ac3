#include "treerecording.h"

#include <limits>

namespace {

// Each event is one byte of kind; a name follows its length, seven bits a
// byte, lowest first.
enum Kind : char { File = 'f', Begin = 'b', End = 'e', Unreadable = 'u' };

} // namespace

void TreeRecording::appendName(char kind, std::string_view name)
{
    m_events.push_back(kind);
    std::size_t length = name.size();
    while (length >= 0x80) {
        m_events.push_back(char(0x80 | (length & 0x7F)));
        length >>= 7;
    }
    m_events.push_back(char(length));
    m_events.append(name);
    ++m_entries;
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

void TreeRecording::replay(TreeVisitor &visitor, const WalkProgress *progress) const
{
    const bool reporting = progress && progress->report && progress->interval;
    std::uint64_t untilReport = reporting ? progress->interval : std::numeric_limits<std::uint64_t>::max();
    std::uint64_t seen = 0;

    const char *at = m_events.data();
    const char *const end = at + m_events.size();
    while (at < end) {
        const char kind = *at++;
        if (kind == End) {
            visitor.directoryEnd();
            continue;
        }
        if (kind == Unreadable) {
            visitor.directoryUnreadable();
            continue;
        }
        std::size_t length = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*at++);
            length |= std::size_t(byte & 0x7F) << shift;
            if (byte < 0x80)
                break;
        }
        const std::string_view name(at, length);
        at += length;
        if (kind == File)
            visitor.file(name);
        else
            visitor.directoryBegin(name);
        ++seen;
        if (--untilReport == 0) {
            untilReport = progress->interval;
            progress->report(seen);
        }
    }
}

void TreeRecording::clear()
{
    std::string().swap(m_events);
    m_entries = 0;
    m_nameBytes = 0;
}
