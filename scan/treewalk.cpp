#include "treewalk.h"

#include "directoryadmission.h"
#include "entrymetadata.h"
#include "listingstack.h"
#include "listingwatch.h"
#include "pathdescriptors.h"
#include "scopeddescriptor.h"
#include "walkpath.h"

#include <fcntl.h>

#include <algorithm>
#include <cassert>
#include <cerrno>

namespace {

// The walk of the root itself has no ancestors; a subtree handed over is
// opened by its path from the root.
std::string pathFromRoot(const WalkStart &start)
{
    return start.ancestors.empty() ? std::string() : start.path;
}

// Tells `visitor` why the directory it has just begun (or, for the walk of a
// subtree, the start) is not entered.
void tellRefusal(TreeVisitor &visitor, const Admission &admission, [[maybe_unused]] bool stopping)
{
    // Running out of descriptors is waited out, unless the walk is stopping.
    assert(admission.reason != AdmissionReason::Unreadable || (admission.error != EMFILE && admission.error != ENFILE)
           || stopping);
    switch (admission.reason) {
    case AdmissionReason::Unreadable:
        visitor.directoryUnreadable(admission.error);
        break;
    case AdmissionReason::Loop:
        visitor.directoryNotEntered(NotEnteredReason::Loop);
        break;
    case AdmissionReason::PseudoFileSystem:
        visitor.directoryNotEntered(NotEnteredReason::PseudoFileSystem);
        break;
    case AdmissionReason::OtherFileSystem:
        visitor.directoryNotEntered(NotEnteredReason::OtherFileSystem);
        break;
    case AdmissionReason::Entered:
        break;
    }
}

// The depth-first traversal: it visits each level's entries in order,
// enters the subdirectories the admission lets in, and tells the visitor.
// The listings, the path, the descriptors and the hand-over each keep their
// own part of every level; it pushes and pops them together.
class TreeWalk
{
public:
    TreeWalk(WalkStart start, TreeVisitor &visitor, const WalkProgress *progress, const WalkLimits &limits)
        : m_visitor(visitor)
        , m_progress(progress)
        , m_stop(limits.stop)
        , m_readMetadata(limits.rules && limits.rules->readMetadata)
        , m_listings(limits.rules, pathFromRoot(start)) // before the path takes the start's
        , m_path(start.baseFd, std::move(start.path), std::move(start.ancestors), m_listings.entries())
        , m_admission(m_path, limits.mountPoints, start.rootOnPseudoFileSystem, limits.rules && limits.rules->oneFileSystem)
        , m_descriptors(m_path, limits.descriptorBudget, limits.stop, !limits.rules || limits.rules->followLinks)
        , m_handOver(limits.sink)
    {
    }

    void run()
    {
        // The root is followed where it is a link, whatever the rules.
        DirectoryOpener &opener = m_descriptors.opener();
        ScopedDescriptor start(m_path.ancestors().empty() ? opener.openPath(m_path.baseFd(), m_path.startPath())
                                                          : opener.openListedPath(m_path.baseFd(), m_path.startPath()));
        const int error = errno;
        // A subtree's start is an entry of the walk that handed it over.
        if (m_readMetadata && m_path.ancestors().empty())
            m_visitor.rootMetadata(start.isValid() ? readOpenedMetadata(start.get())
                                                   : readPathMetadata(m_path.baseFd(), m_path.startPath().c_str()));
        const Admission admission = m_admission.admitStart(start, error);
        if (!admission.entered()) {
            tellRefusal(m_visitor, admission, stopped());
            return;
        }
        enter(std::move(start), admission, 0);
        while (m_listings.depth() > 0 && !stopped())
            step();
    }

private:
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    void step()
    {
        ListingStack::Level &top = m_listings.top();
        if (top.nextEntry == top.endEntry) {
            leave();
            return;
        }
        if (m_handOver.wanted()) {
            const std::size_t level = m_handOver.handOverOne(m_listings, m_path);
            if (level != SubtreeHandOver::noLevel)
                subdirectoryDone(level);
        }
        const std::size_t index = top.nextEntry++;
        const EntryTable &entries = m_listings.entries();
        const EntryRecord &entry = entries[index];
        if (entry.excluded) {
            m_visitor.excluded(entries.name(entry));
            return;
        }
        m_progress.count();
        if (m_readMetadata)
            m_visitor.entryMetadata(entries.metadata(index));
        if (!entry.isDirectory) {
            m_visitor.file(entries.name(entry));
            return;
        }
        m_visitor.directoryBegin(entries.name(entry));
        if (entry.handedOver) {
            m_handOver.place(index);
            m_visitor.directoryEnd();
            return;
        }
        enterSubdirectory(index);
    }

    void enterSubdirectory(std::size_t index)
    {
        const std::size_t parent = m_path.depth() - 1;
        const EntryRecord entry = m_listings.entries()[index];
        Admission admission = m_admission.admitListed(entry);
        ScopedDescriptor fd;
        if (admission.entered()) {
            const int parentFd = m_descriptors.descriptorOf(parent);
            int error = errno;
            if (parentFd >= 0) {
                fd.reset(m_descriptors.opener().openListed(parentFd, m_listings.entries().terminatedName(entry)));
                error = errno;
            }
            admission = m_admission.admitOpened(entry, fd, error);
        }
        subdirectoryDone(parent);
        if (!admission.entered()) {
            tellRefusal(m_visitor, admission, stopped());
            m_visitor.directoryEnd();
            return;
        }
        enter(std::move(fd), admission, index);
    }

    void enter(ScopedDescriptor fd, const Admission &admission, std::size_t nameEntry)
    {
        if (const ListingWatch watch = listingWatch.load(std::memory_order_relaxed))
            watch(admission.identity);
        m_descriptors.descend();
        // Files before the first subdirectory need not wait in the table.
        m_listings.push(fd.get(), nameEntry, admission.traits.kernelPseudo,
                        [this](std::string_view name, const EntryMetadata *metadata, bool excluded) {
                            if (excluded) {
                                m_visitor.excluded(name);
                                return;
                            }
                            m_progress.count();
                            if (metadata)
                                m_visitor.entryMetadata(*metadata);
                            m_visitor.file(name);
                        });
        const ListingStack::Level &level = m_listings.top();
        m_path.push(admission.identity, admission.traits, nameEntry);
        m_handOver.push(level.firstEntry);
        m_descriptors.push(std::move(fd), level.pendingDirectories > 0);
    }

    void leave()
    {
        // Every subdirectory of the level was entered, refused or handed over.
        assert(m_listings.top().pendingDirectories == 0);
        // A listing that failed part way is reported once its entries are visited.
        if (const int error = m_listings.top().readError)
            m_visitor.directoryUnreadable(error);
        ScopedDescriptor own = m_descriptors.pop();
        m_handOver.pop();
        m_path.pop();
        m_listings.pop();
        if (m_listings.depth() == 0)
            return;
        m_descriptors.restoreThroughChild(own);
        m_visitor.directoryEnd();
    }

    void subdirectoryDone(std::size_t level)
    {
        assert(m_listings.level(level).pendingDirectories > 0);
        if (--m_listings.level(level).pendingDirectories == 0)
            m_descriptors.noLongerWanted(level);
    }

    TreeVisitor &m_visitor;
    ProgressCounter m_progress;
    const std::atomic<bool> *const m_stop;
    const bool m_readMetadata;
    ListingStack m_listings;
    WalkPath m_path;
    DirectoryAdmission m_admission;
    PathDescriptors m_descriptors;
    SubtreeHandOver m_handOver;
};

} // namespace

void walkFrom(WalkStart start, TreeVisitor &visitor, const WalkProgress *progress, const WalkLimits &limits)
{
    TreeWalk(std::move(start), visitor, progress, limits).run();
}

void walkTree(const std::string &rootPath, TreeVisitor &visitor, const WalkProgress *progress, const WalkRules *rules)
{
    const MountPoints mountPoints;
    WalkLimits limits;
    limits.descriptorBudget = std::min(freeDescriptorCount(), mostWalkDescriptors);
    limits.mountPoints = &mountPoints;
    limits.rules = rules;
    walkFrom({AT_FDCWD, rootPath, {}}, visitor, progress, limits);
}
