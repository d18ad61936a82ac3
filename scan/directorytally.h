#pragma once

#include "subtreesizes.h"
#include "treevisitor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// What a format shows of a directory before its entries: the numbers of
// folders and of files in its whole subtree, and why it was not entered or
// not read whole. Directories are numbered in the order a replay begins
// them, the root first (0), so that a format replaying the same recording
// reads each directory's tally when it begins it, with a counter of its own.
// A few bytes a directory: the reasons are kept only where there is one.
// Where the walk read metadata, it also sums each directory's subtree
// (SubtreeSizes).
class DirectoryTally : public TreeVisitor
{
public:
    struct Counts
    {
        std::uint32_t folders = 0;
        std::uint32_t files = 0;
    };

    // Why a directory was not entered, or entered and not read whole.
    struct Reason
    {
        std::uint32_t directory = 0;
        bool notEntered = false;          // `why` holds; otherwise `error` does
        NotEnteredReason why = NotEnteredReason::Loop;
        int error = 0;                    // an errno value
    };

    DirectoryTally();

    // Before the replay, where the walk read metadata: what the recording
    // says followed links lead to (TreeRecording::linkTargets()), so that
    // each such file counts once.
    void expectLinkTargets(std::vector<FileIdentity> targets) { m_sizes.expectLinkTargets(std::move(targets)); }

    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable(int error) override;
    void directoryNotEntered(NotEnteredReason reason) override;
    void rootMetadata(const EntryMetadata &metadata) override
    {
        m_rootMetadata = metadata;
        m_sizes.root(metadata);
    }
    void entryMetadata(const EntryMetadata &metadata) override;

    // After the last event of the replay: closes the root.
    void finish();

    std::size_t directoryCount() const { return m_counts.size(); }
    Counts counts(std::size_t directory) const { return m_counts[directory]; }
    // The first reason given for each directory that has one, by directory.
    const std::vector<Reason> &reasons() const { return m_reasons; }
    // Whether the file numbered `file` (from 0, in the order of the replay)
    // was described and added nothing to the sizes: it counts elsewhere, or
    // is a link that could not be followed.
    bool addedNothing(std::size_t file) const;
    // Whether the directory could be listed but not searched: where the walk
    // read metadata, that of its entries was refused (EACCES), as only a
    // parent without search permission refuses it.
    bool unsearchable(std::size_t directory) const;
    // Whether metadata was read, and then what each directory's subtree holds.
    bool hasSizes() const { return m_sizes.active(); }
    const SubtreeSizes::Totals &sizes(std::size_t directory) const { return m_sizes.totals(directory); }
    bool mayBeMetAgain(const EntryMetadata &metadata) const { return m_sizes.mayBeMetAgain(metadata); }
    // The root's own, where metadata was read.
    const EntryMetadata &metadataOfRoot() const { return m_rootMetadata; }

private:
    struct Open
    {
        std::uint32_t directory;
        std::uint64_t foldersBefore; // counted before its own entries
        std::uint64_t filesBefore;
    };

    void close();

    std::vector<Counts> m_counts;
    std::vector<Reason> m_reasons;
    std::vector<std::uint32_t> m_unsearchable; // sorted once finished
    std::vector<std::uint32_t> m_filesAddingNothing; // by number, in order
    std::vector<Open> m_open;
    SubtreeSizes m_sizes;
    EntryMetadata m_rootMetadata;
    std::uint64_t m_folders = 0;
    std::uint64_t m_files = 0;
};
