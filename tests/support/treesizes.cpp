// Lists a tree as velmora's scan does with metadata read, so that tst_walks
// can hold what it says against du and find, also under strace or as
// another user:
//
//   velmora-treesizes [-P] [-x] [--sort=name|version] [--exclude=PATTERN]... [-jTHREADS] ROOT
//
// prints, paths from the root ("." for the root itself):
//   f SIZE DISK SECONDS.NANOSECONDS PATH   each file whose metadata was read, in the walk's order
//   d SIZE DISK SECONDS.NANOSECONDS PATH   the same for each directory, the root first
//   ? ERRNO PATH                           each entry whose metadata could not be read
//   t SIZE DISK SHARED-SIZE SHARED-DISK UNREADABLE FOLDERS FILES STATE PATH
//                                          each directory's subtree, as DirectoryTally sums it;
//                                          STATE is one of - elsewhere loop pseudo other unreadable
//   count UNREADABLE                       as TreeCounter counts them
// and exits 0, or 1 when the scan fails.

#include "directorytally.h"
#include "exclusionrules.h"
#include "treecounter.h"
#include "treescan.h"
#include "unreadableentries.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

// Prints each entry's metadata with its path, and numbers the directories
// as DirectoryTally does.
class EntryLines : public TreeVisitor
{
public:
    void file(std::string_view name) override { print('f', path(name)); }
    void directoryBegin(std::string_view name) override
    {
        m_lengths.push_back(m_path.size());
        m_path = path(name);
        m_directories.push_back(m_path);
        print('d', m_path);
    }
    void directoryEnd() override
    {
        m_path.resize(m_lengths.back());
        m_lengths.pop_back();
    }
    void directoryUnreadable(int) override {}
    void directoryNotEntered(NotEnteredReason) override {}
    void rootMetadata(const EntryMetadata &metadata) override
    {
        m_next = metadata;
        print('d', ".");
    }
    void entryMetadata(const EntryMetadata &metadata) override { m_next = metadata; }

    const std::vector<std::string> &directories() const { return m_directories; }

private:
    std::string path(std::string_view name) const
    {
        return m_path.empty() ? std::string(name) : m_path + '/' + std::string(name);
    }
    void print(char kind, const std::string &path) const
    {
        if (m_next.readable())
            std::printf("%c %llu %llu %lld %s\n", kind, static_cast<unsigned long long>(m_next.size),
                        static_cast<unsigned long long>(m_next.diskBytes), static_cast<long long>(m_next.modifiedSeconds),
                        path.c_str());
    }

    EntryMetadata m_next;
    std::string m_path;
    std::vector<std::size_t> m_lengths;
    std::vector<std::string> m_directories{"."};
};

const char *state(const DirectoryTally &tally, std::size_t directory, std::size_t &reason)
{
    const std::vector<DirectoryTally::Reason> &reasons = tally.reasons();
    const char *said = tally.sizes(directory).countedElsewhere ? "elsewhere" : "-";
    if (reason < reasons.size() && reasons[reason].directory == directory) {
        const DirectoryTally::Reason &why = reasons[reason++];
        if (!why.notEntered)
            return "unreadable";
        if (why.why == NotEnteredReason::PseudoFileSystem)
            return "pseudo";
        return why.why == NotEnteredReason::OtherFileSystem ? "other" : "loop";
    }
    return said;
}

} // namespace

int main(int argc, char **argv)
{
    WalkRules rules;
    rules.readMetadata = true;
    std::vector<std::string> patterns;
    unsigned threads = 1;
    int argument = 1;
    for (; argument + 1 < argc; ++argument) {
        const std::string option = argv[argument];
        if (option == "-P")
            rules.followLinks = false;
        else if (option == "-x")
            rules.oneFileSystem = true;
        else if (option.rfind("--sort=", 0) == 0)
            rules.order = option == "--sort=name" ? EntryOrder::Name : EntryOrder::Version;
        else if (option.rfind("--exclude=", 0) == 0)
            patterns.push_back(option.substr(10));
        else if (option.rfind("-j", 0) == 0)
            threads = unsigned(std::atoi(option.c_str() + 2));
        else
            break;
    }
    if (argument + 1 != argc) {
        std::fprintf(stderr, "usage: velmora-treesizes [-P] [-x] [--sort=ORDER] [--exclude=PATTERN]... [-jN] ROOT\n");
        return 2;
    }
    const std::string root = argv[argument];
    std::unique_ptr<ExclusionRules> exclusions;
    if (!patterns.empty()) {
        exclusions = std::make_unique<ExclusionRules>(patterns);
        rules.exclusions = exclusions.get();
    }
    try {
        const TreeRecording recording = scanTree(root, nullptr, threads, nullptr, &rules);
        EntryLines lines;
        recording.replay(lines);
        UnreadableEntries unreadable(root);
        recording.replay(unreadable);
        for (const UnreadableDirectory &entry : unreadable.found())
            std::printf("? %d %s\n", entry.error, entry.path == root ? "." : entry.path.c_str() + root.size() + 1);
        DirectoryTally tally;
        tally.expectLinkTargets(recording.linkTargets());
        recording.replay(tally);
        tally.finish();
        std::size_t reason = 0;
        for (std::size_t directory = 0; directory < tally.directoryCount(); ++directory) {
            const SubtreeSizes::Totals &sizes = tally.sizes(directory);
            const DirectoryTally::Counts counts = tally.counts(directory);
            std::printf("t %llu %llu %llu %llu %u %u %u %s %s\n", static_cast<unsigned long long>(sizes.apparentBytes),
                        static_cast<unsigned long long>(sizes.diskBytes),
                        static_cast<unsigned long long>(sizes.sharedApparentBytes),
                        static_cast<unsigned long long>(sizes.sharedDiskBytes), sizes.unreadable, counts.folders, counts.files,
                        state(tally, directory, reason), lines.directories()[directory].c_str());
        }
        TreeCounter counter(std::cerr);
        recording.replay(counter);
        std::printf("count %llu\n", static_cast<unsigned long long>(counter.unreadableMetadataCount()));
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "velmora-treesizes: %s\n", failure.what());
        return 1;
    }
    return 0;
}
