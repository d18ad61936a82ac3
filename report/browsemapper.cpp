#include "browsemapper.h"

#include "asciijson.h"
#include "browsepage.h"
#include "exclusionrules.h"
#include "htmlname.h"
#include "reasontext.h"

#include <cassert>
#include <ctime>
#include <iterator>

namespace {

const char *orderName(EntryOrder order)
{
    switch (order) {
    case EntryOrder::Name:
        return "name";
    case EntryOrder::Version:
        return "version";
    case EntryOrder::FileSystem:
        break;
    }
    return "filesystem";
}

// Disk use is counted in blocks of this many bytes, which the sizes'
// data gives instead of bytes: three digits fewer an entry.
constexpr std::int64_t diskBlockBytes = 512;

// SIZE,BLOCKS,AGE: the sizes' data gives times as seconds before the map
// was made, mostly fewer digits than since the epoch.
void appendSizes(std::string &out, std::int64_t size, std::int64_t diskBytes, bool hasTime, std::int64_t age)
{
    if (!out.empty())
        out.push_back(',');
    out.append(std::to_string(size)).push_back(',');
    out.append(std::to_string(diskBytes / diskBlockBytes)).push_back(',');
    out.append(hasTime ? std::to_string(age) : "null");
}

void appendNoSizes(std::string &out)
{
    out.append(out.empty() ? "null,null,null" : ",null,null,null");
}

std::string utcText(std::time_t when)
{
    std::tm parts{};
    char text[32] = "";
    if (::gmtime_r(&when, &parts))
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

} // namespace

BrowseMapper::BrowseMapper(const MapHeading &heading, std::string &output)
    : TalliedFormat(heading)
    , m_heading(heading)
    , m_tally(*heading.tally)
    , m_listFiles(heading.listed == ListedEntries::FilesAndDirectories)
    , m_output(output)
{
}

void BrowseMapper::begin()
{
    writeFrame();
    m_output.append("{\"format\":1,\"made\":\"").append(utcText(m_heading.madeAt));
    m_output.append("\",\"files_listed\":").append(m_listFiles ? "true" : "false");
    if (hasSizes())
        m_output.append(",\"sizes\":true");
    writeRules(m_heading.rules);
    m_output.append(",\"tree\":[");
    writeDirectory(m_heading.rootPath);
}

void BrowseMapper::end()
{
    // Every directory of the tally was written, with its reason, once.
    assert(replayedWhole());
    m_output.append(",0]}");
    writeFrame();
    if (hasSizes())
        m_output.append("[").append(m_sizes).append("]");
    std::string().swap(m_sizes);
    writeFrame();
}

void BrowseMapper::file(std::string_view name)
{
    if (!m_listFiles)
        return;
    m_output.push_back(',');
    const EntryMetadata *metadata = nextMetadata();
    if (!metadata) {
        appendAsciiJsonString(m_output, name);
    } else if (!metadata->readable()) {
        m_output.append("{\"f\":");
        appendAsciiJsonString(m_output, name);
        m_output.append(",\"r\":");
        appendAsciiJsonString(m_output, unreadableText(metadata->error));
        m_output.push_back('}');
        appendNoSizes(m_sizes);
    } else {
        appendAsciiJsonString(m_output, name);
        appendSizes(m_sizes, metadata->size, metadata->diskBytes, metadata->hasModifiedTime,
                    ageOf(metadata->modifiedSeconds));
    }
}

void BrowseMapper::directoryBegin(std::string_view name)
{
    m_output.push_back(',');
    writeDirectory(name);
}

void BrowseMapper::directoryEnd()
{
    m_output.append(",0");
}

void BrowseMapper::writeDirectory(std::string_view name)
{
    const Directory directory = nextDirectory();
    m_output.append("{\"d\":");
    appendAsciiJsonString(m_output, name);
    m_output.append(",\"n\":[").append(std::to_string(directory.counts.folders)).push_back(',');
    m_output.append(std::to_string(directory.counts.files)).push_back(']');
    if (directory.reason) {
        m_output.append(",\"r\":");
        appendAsciiJsonString(m_output, reasonText(*directory.reason));
    }
    if (directory.metadata)
        writeDirectorySizes(*directory.metadata, *directory.sizes);
    m_output.push_back('}');
}

void BrowseMapper::writeDirectorySizes(const EntryMetadata &metadata, const SubtreeSizes::Totals &totals)
{
    if (totals.countedElsewhere)
        appendNoSizes(m_sizes);
    else
        appendSizes(m_sizes, totals.apparentBytes, totals.diskBytes, totals.hasNewest, ageOf(totals.newest));
    if (!metadata.readable()) {
        m_output.append(",\"m\":");
        appendAsciiJsonString(m_output, unreadableText(metadata.error));
    }
    if (!totals.countedElsewhere && totals.unreadable > 0)
        m_output.append(",\"u\":").append(std::to_string(totals.unreadable));
    if (!totals.countedElsewhere && (totals.sharedApparentBytes > 0 || totals.sharedDiskBytes > 0)) {
        m_output.append(",\"h\":[").append(std::to_string(totals.sharedApparentBytes)).push_back(',');
        m_output.append(std::to_string(totals.sharedDiskBytes / diskBlockBytes)).push_back(']');
    }
}

std::int64_t BrowseMapper::ageOf(std::int64_t seconds) const
{
    return std::int64_t(m_heading.madeAt) - seconds;
}

void BrowseMapper::writeRules(const WalkRules *rules)
{
    const WalkRules plain;
    if (!rules)
        rules = &plain;
    m_output.append(",\"rules\":{\"follow_links\":").append(rules->followLinks ? "true" : "false");
    m_output.append(",\"one_file_system\":").append(rules->oneFileSystem ? "true" : "false");
    m_output.append(",\"sort\":\"").append(orderName(rules->order)).append("\",\"exclude\":[");
    if (rules->exclusions) {
        const char *separator = "";
        for (const std::string &pattern : rules->exclusions->patterns()) {
            m_output.append(separator);
            appendAsciiJsonString(m_output, pattern);
            separator = ",";
        }
    }
    m_output.append("]}");
}

void BrowseMapper::writeFrame()
{
    for (; m_piece < std::size(browsePagePieces); ++m_piece) {
        const PagePiece &piece = browsePagePieces[m_piece];
        m_output.append(piece.text);
        if (piece.slot == "data" || piece.slot == "sizes") {
            ++m_piece;
            return;
        }
        if (piece.slot == "root") {
            appendHtmlName(m_output, m_heading.rootPath);
        } else if (piece.slot == "folders") {
            m_output.append(std::to_string(m_tally.counts(0).folders));
        } else if (piece.slot == "folders-noun") {
            m_output.append(m_tally.counts(0).folders == 1 ? "folder" : "folders");
        } else if (piece.slot == "files") {
            m_output.append(std::to_string(m_tally.counts(0).files));
        } else if (piece.slot == "files-noun") {
            m_output.append(m_tally.counts(0).files == 1 ? "file" : "files");
        } else {
            assert(piece.slot.empty());
        }
    }
}
