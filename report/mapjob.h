#pragma once

#include "directorytally.h"
#include "listedentries.h"
#include "mapfailure.h"
#include "mapformat.h"
#include "reportformat.h"
#include "treerecording.h"
#include "unreadabledirectories.h"
#include "walkrules.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <ctime>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

// Takes the report piece by piece, in order; gives false when it cannot.
using ReportWriter = std::function<bool(std::string_view piece)>;

// The scanning and assembling of one report, stage by stage, shared by the
// window and the command line so both write the same bytes. The tree is
// listed once, while counting, by several threads at once; mapping visits
// that listing again, which gives what a second walk would give of a tree
// that did not change. A stage that fails gives false and leaves the job
// with nothing held; failure() says why.
class MapJob
{
public:
    // `errors` receives one line for every directory that cannot be opened.
    // Counts beyond `countLimit` end the run.
    MapJob(std::string rootPath, std::ostream &errors, std::uint64_t countLimit = INT_MAX);

    // Once `cancel` is set, the stage under way ends soon, failed.
    void setCancel(const std::atomic<bool> *cancel) { m_cancel = cancel; }
    // What the listing enters, lists and in which order; without, all of
    // the tree as the file system lists it.
    void setRules(const WalkRules *rules) { m_rules = rules; }
    // Before count(): the format the map will be made in, so that what only
    // it shows is gathered while counting rather than by a visit of its own.
    void prepareFor(ReportFormat format) { m_tallyWhileCounting = showsDirectoryCounts(format); }
    // Lists the tree below the root and counts its folders and files.
    bool count(const WalkProgress *progress = nullptr);
    // Hands the whole map, in `format`, to `write` as it is made, in pieces
    // of about 256 KiB, so that it is never held whole.
    bool map(ReportFormat format, ListedEntries listed, const ReportWriter &write,
             const WalkProgress *progress = nullptr);

    MapFailure failure() const { return m_failure; }
    // The system's explanation of the failure, where it has one.
    const std::string &failureText() const { return m_failureText; }
    // After counting: the directories that could not be read, in the order of the tree.
    const std::vector<UnreadableDirectory> &unreadableDirectories() const { return m_unreadable; }
    // After counting, where the walk read metadata: the entries whose
    // metadata could not be read, in the order of the tree.
    const std::vector<UnreadableDirectory> &unreadableEntries() const { return m_unreadableEntries; }
    // After mapping in a format that shows counts, where the walk read
    // metadata: what the whole tree holds; else null.
    const SubtreeSizes::Totals *treeSizes() const { return m_tallied && m_tally.hasSizes() ? &m_tally.sizes(0) : nullptr; }
    int fileCount() const { return m_fileCount; }
    int folderCount() const { return m_folderCount; }
    // After counting: the directories not entered for being on another file system.
    std::uint64_t otherFileSystemCount() const { return m_otherFileSystems; }
    // When counting began: when the tree was listed.
    std::time_t madeAt() const { return m_madeAt; }
    // After a stopped count: threads of the listing that were stuck in the
    // kernel were left behind, and still read the rules' exclusions.
    bool walkersLeftBehind() const { return m_walkersLeftBehind; }

private:
    bool fail(MapFailure failure);
    bool cancelled() const { return m_cancel && *m_cancel; }

    std::string m_rootPath;
    std::ostream &m_errors;
    const std::uint64_t m_countLimit;
    const std::atomic<bool> *m_cancel = nullptr;
    const WalkRules *m_rules = nullptr;
    TreeRecording m_tree;
    bool m_tallyWhileCounting = false;
    bool m_tallied = false; // m_tally holds the counts of m_tree
    DirectoryTally m_tally;
    std::time_t m_madeAt = 0;
    std::vector<UnreadableDirectory> m_unreadable;
    std::vector<UnreadableDirectory> m_unreadableEntries;
    std::string m_report;
    int m_fileCount = 0;
    int m_folderCount = 0;
    std::uint64_t m_otherFileSystems = 0;
    bool m_walkersLeftBehind = false;
    MapFailure m_failure = MapFailure::None;
    std::string m_failureText;
};
