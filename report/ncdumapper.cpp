#include "ncdumapper.h"

#include "absolutepath.h"
#include "version.h"

#include <cassert>
#include <cstdio>

namespace {

// A JSON string of the name's exact bytes: the format reads names as bytes,
// valid UTF-8 or not.
void appendName(std::string &out, std::string_view name)
{
    out.append("{\"name\":\"");
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20 || byte == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out.append(escape);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

const char *excludedText(NotEnteredReason reason)
{
    switch (reason) {
    case NotEnteredReason::OtherFileSystem:
        return "otherfs";
    case NotEnteredReason::PseudoFileSystem:
        return "kernfs";
    case NotEnteredReason::Loop:
        break;
    }
    return "frmlnk";
}

void appendField(std::string &out, const char *field, std::uint64_t value)
{
    out.append(field).append(std::to_string(value));
}

} // namespace

NcduMapper::NcduMapper(const MapHeading &heading, std::string &output)
    : TalliedFormat(heading)
    , m_heading(heading)
    , m_output(output)
{
}

void NcduMapper::begin()
{
    m_output.append("[1,2,{\"progname\":\"velmora-map\",\"progver\":\"").append(versionText);
    m_output.append("\",\"timestamp\":").append(std::to_string(m_heading.madeAt)).append("},\n");
    std::string root = absolutePath(m_heading.rootPath);
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    writeDirectory(root);
}

void NcduMapper::end()
{
    assert(replayedWhole());
    m_output.append("]]\n");
}

void NcduMapper::file(std::string_view name)
{
    const bool addedNothing = hasSizes() && nextFileAddedNothing();
    if (leftOut())
        return;
    m_output.append(",\n");
    appendName(m_output, name);
    if (const EntryMetadata *metadata = nextMetadata()) {
        if (!metadata->readable())
            m_output.append(",\"read_error\":true"); // the format's word for an entry that could not be described
        else if (metadata->leadsNowhere && addedNothing) // no size: ncdu would add it
            appendDescription(*metadata, false);
        else if (mayBeMetAgain(*metadata)) // ncdu counts it once in each folder that holds it
            appendMetadata(*metadata, false, true);
        else
            appendMetadata(*metadata, false);
    }
    m_output.push_back('}');
}

void NcduMapper::excluded(std::string_view name)
{
    if (leftOut())
        return;
    m_output.append(",\n");
    appendName(m_output, name);
    m_output.append(",\"excluded\":\"pattern\"}");
}

void NcduMapper::directoryBegin(std::string_view name)
{
    if (leftOut()) {
        nextDirectory(); // its tally is passed over with it
        ++m_leftOutDepth;
        return;
    }
    m_output.append(",\n");
    writeDirectory(name);
}

void NcduMapper::directoryEnd()
{
    if (m_leftOutDepth > 1) {
        --m_leftOutDepth;
        return;
    }
    if (m_leftOutDepth == 0 || m_leftOutOfArray)
        m_output.push_back(']');
    m_leftOutDepth = 0;
    if (hasSizes())
        m_devices.pop_back();
}

void NcduMapper::writeDirectory(std::string_view name)
{
    const Directory directory = nextDirectory();
    const DirectoryTally::Reason *reason = directory.reason;
    const bool notEntered = reason && reason->notEntered;
    // Met before, through a link or a mount: written once, where it counts.
    const bool countedElsewhere = !notEntered && directory.sizes && directory.sizes->countedElsewhere;
    // What counts nothing is an object alone, as ncdu writes what a pattern
    // excluded: gdu gives a folder 4096 bytes of its own, whatever it says.
    const bool countsNothing = notEntered || countedElsewhere;
    if (!countsNothing)
        m_output.push_back('[');
    appendName(m_output, name);
    bool readError = (reason && !notEntered) || directory.unsearchable;
    if (const EntryMetadata *metadata = directory.metadata) {
        readError = readError || !metadata->readable();
        // No size where nothing is counted, as ncdu writes what it does not count.
        if (metadata->readable() && countsNothing)
            appendDevice(metadata->identity.device);
        else if (metadata->readable())
            appendMetadata(*metadata, true);
        // An unreadable directory stays on its parent's device.
        m_devices.push_back(metadata->readable() ? metadata->identity.device
                            : m_devices.empty()  ? dev_t(0)
                                                 : m_devices.back());
    }
    if (countsNothing)
        m_output.append(",\"excluded\":\"")
            .append(excludedText(notEntered ? reason->why : NotEnteredReason::Loop))
            .push_back('"');
    if (readError)
        m_output.append(",\"read_error\":true");
    m_output.push_back('}');
    if (countsNothing || directory.unsearchable) {
        m_leftOutDepth = 1;
        m_leftOutOfArray = !countsNothing;
    }
}

void NcduMapper::appendDevice(dev_t device)
{
    // Only where it changes, as ncdu writes it.
    if (m_devices.empty() || m_devices.back() != device)
        appendField(m_output, ",\"dev\":", device);
}

void NcduMapper::appendMetadata(const EntryMetadata &metadata, bool isDirectory, bool metAgain)
{
    assert(metadata.readable());
    appendField(m_output, ",\"asize\":", metadata.size);
    appendField(m_output, ",\"dsize\":", metadata.diskBytes);
    if (isDirectory)
        appendDevice(metadata.identity.device);
    appendDescription(metadata, isDirectory, metAgain);
}

void NcduMapper::appendDescription(const EntryMetadata &metadata, bool isDirectory, bool metAgain)
{
    appendField(m_output, ",\"ino\":", metadata.identity.inode);
    if (!isDirectory && (metAgain || metadata.links > 1)) {
        m_output.append(",\"hlnkc\":true");
        appendField(m_output, ",\"nlink\":", metadata.links);
    }
    if (!isDirectory && !metadata.regular)
        m_output.append(",\"notreg\":true");
    // ncdu refuses the whole file for a negative time: one before 1970 is left out.
    if (metadata.hasModifiedTime && metadata.modifiedSeconds >= 0)
        m_output.append(",\"mtime\":").append(std::to_string(metadata.modifiedSeconds));
}
