#include "mapjob.h"

#include "bothvisitors.h"
#include "mapformat.h"
#include "treecounter.h"
#include "treescan.h"
#include "unreadableentries.h"

#include <new>
#include <system_error>

namespace {

// Large enough that each write costs little, small enough to stay in cache
// and to be touched page by page only once.
constexpr std::size_t pieceBytes = 256 * 1024;
// Room for the longest item beyond a full piece.
constexpr std::size_t pieceRoom = pieceBytes + 64 * 1024;

// Hands the report on in pieces as the mapper writes it, so that the text
// held stays within one piece. After a piece is refused, it makes no more.
class PieceByPiece : public TreeVisitor
{
public:
    PieceByPiece(TreeVisitor &mapper, std::string &report, const ReportWriter &write)
        : m_mapper(mapper)
        , m_report(report)
        , m_write(write)
    {
    }

    bool written() const { return m_written; }

    void file(std::string_view name) override
    {
        if (m_written) {
            m_mapper.file(name);
            handOn();
        }
    }
    void directoryBegin(std::string_view name) override
    {
        if (m_written) {
            m_mapper.directoryBegin(name);
            handOn();
        }
    }
    void directoryEnd() override
    {
        if (m_written)
            m_mapper.directoryEnd();
    }
    void directoryUnreadable(int error) override
    {
        if (m_written)
            m_mapper.directoryUnreadable(error);
    }
    void directoryNotEntered(NotEnteredReason reason) override
    {
        if (m_written)
            m_mapper.directoryNotEntered(reason);
    }
    void rootMetadata(const EntryMetadata &metadata) override { m_mapper.rootMetadata(metadata); }
    void entryMetadata(const EntryMetadata &metadata) override { m_mapper.entryMetadata(metadata); }
    void excluded(std::string_view name) override
    {
        if (m_written) {
            m_mapper.excluded(name);
            handOn();
        }
    }

private:
    void handOn()
    {
        if (m_report.size() < pieceBytes)
            return;
        m_written = m_write(m_report);
        m_report.clear();
    }

    TreeVisitor &m_mapper;
    std::string &m_report;
    const ReportWriter &m_write;
    bool m_written = true;
};

} // namespace

MapJob::MapJob(std::string rootPath, std::ostream &errors, std::uint64_t countLimit)
    : m_rootPath(std::move(rootPath))
    , m_errors(errors)
    , m_countLimit(countLimit)
{
}

bool MapJob::count(const WalkProgress *progress)
{
    try {
        m_madeAt = std::time(nullptr);
        m_tree = scanTree(m_rootPath, progress, 0, m_cancel, m_rules, &m_walkersLeftBehind);
        if (cancelled())
            return fail(MapFailure::Cancelled);
        TreeCounter counter(m_errors, m_countLimit);
        if (m_tallyWhileCounting) {
            m_tally.expectLinkTargets(m_tree.linkTargets());
            BothVisitors both(counter, m_tally);
            m_tree.replay(both);
            m_tally.finish();
            m_tallied = true;
        } else {
            m_tree.replay(counter);
        }
        if (counter.overflowed())
            return fail(MapFailure::TooManyEntries);
        if (counter.unreadableCount() > 0) {
            UnreadableDirectories unreadable(m_rootPath);
            m_tree.replay(unreadable);
            m_unreadable = unreadable.found();
        }
        if (counter.unreadableMetadataCount() > 0) {
            UnreadableEntries unreadable(m_rootPath);
            m_tree.replay(unreadable);
            m_unreadableEntries = unreadable.found();
        }
        m_fileCount = counter.fileCount();
        m_folderCount = counter.folderCount();
        m_otherFileSystems = counter.otherFileSystemCount();
    } catch (const std::bad_alloc &) {
        return fail(MapFailure::OutOfMemory);
    } catch (const std::system_error &error) {
        m_failureText = error.code().message();
        return fail(failureFor(error.code()));
    }
    return true;
}

bool MapJob::map(ReportFormat format, ListedEntries listed, const ReportWriter &write, const WalkProgress *progress)
{
    try {
        m_report.reserve(pieceRoom);
        if (showsDirectoryCounts(format) && !m_tallied) {
            m_tally.expectLinkTargets(m_tree.linkTargets());
            m_tree.replay(m_tally);
            m_tally.finish();
            m_tallied = true;
        }
        const MapHeading heading{m_rootPath, m_folderCount, m_fileCount, listed, m_rules, m_madeAt,
                                 m_tallied ? &m_tally : nullptr};
        const std::unique_ptr<MapFormat> mapper = makeMapFormat(format, heading, m_report);
        mapper->begin();
        PieceByPiece pieces(*mapper, m_report, write);
        if (!m_tree.replayAndRelease(pieces, progress, [&] { return !cancelled() && pieces.written(); }))
            return fail(cancelled() ? MapFailure::Cancelled : MapFailure::NotWritten);
        mapper->end();
        if (!write(m_report))
            return fail(MapFailure::NotWritten);
        m_report.clear();
        return true;
    } catch (const std::bad_alloc &) {
        return fail(MapFailure::OutOfMemory);
    }
}

bool MapJob::fail(MapFailure failure)
{
    m_failure = failure;
    m_tree.clear();
    m_tally = DirectoryTally();
    m_tallied = false;
    std::string().swap(m_report);
    return false;
}
