#pragma once

#include "largebuffer.h"
#include "metadatarecord.h"
#include "treevisitor.h"
#include "walkprogress.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Keeps what a walk visits, compactly, so that the tree can be listed once
// and visited again by any number of visitors, in the same order.
class TreeRecording : public TreeVisitor
{
public:
    void file(std::string_view name) override;
    void directoryBegin(std::string_view name) override;
    void directoryEnd() override;
    void directoryUnreadable(int error) override;
    void directoryNotEntered(NotEnteredReason reason) override;
    void rootMetadata(const EntryMetadata &metadata) override;
    void entryMetadata(const EntryMetadata &metadata) override;
    void excluded(std::string_view name) override;

    // The identities of the files and directories reached through a
    // symbolic link that was followed, subtrees included: what, besides
    // files with several links, may be met twice in the tree. A tally that
    // counts each file once needs them before it replays the recording.
    std::vector<FileIdentity> linkTargets() const;

    // Puts in this place a directory's entries that are recorded on their
    // own, possibly later and by another thread, into `subtree`.
    void addSubtree(std::unique_ptr<TreeRecording> subtree);

    // Visits everything recorded, subtrees in their places, in order.
    void replay(TreeVisitor &visitor, const WalkProgress *progress = nullptr) const;
    // The same for the last time: each part of the recording is released as
    // soon as it has been visited, and then `afterPart` is called; when it
    // gives false, the replay ends there. Gives false when it was ended.
    bool replayAndRelease(TreeVisitor &visitor, const WalkProgress *progress, const std::function<bool()> &afterPart);

    void clear();

private:
    struct Block
    {
        LargeBuffer memory;
        std::size_t size = 0;
    };

    char *room(std::size_t bytes);
    [[gnu::noinline]] void addBlock(std::size_t bytes);
    void appendNumber(char kind, std::uint64_t number);
    void appendName(char kind, std::string_view name);
    void appendMetadata(const EntryMetadata &metadata, bool ofRoot);
    void replayInto(TreeVisitor &visitor, ProgressCounter &progress) const;
    bool releaseInto(TreeVisitor &visitor, ProgressCounter &progress, const std::function<bool()> &afterPart);
    void replayBlock(const Block &block, TreeVisitor &visitor, ProgressCounter &progress,
                     const std::function<void(std::size_t)> &replaySubtree) const;

    // Events are appended to the last block; none straddles two.
    std::vector<Block> m_blocks;
    std::vector<std::unique_ptr<TreeRecording>> m_subtrees;
    DeviceTable m_devices;
    std::vector<FileIdentity> m_linkTargets;
};
