#include "metadatarecord.h"

namespace {

enum Flag : unsigned char {
    OfRoot = 1,
    Unreadable = 2,
    ThroughLink = 4,
    NotOneLink = 8,
    NoModifiedTime = 16,
    Regular = 32,
};

constexpr unsigned blockShift = 9; // disk bytes are whole 512-byte blocks

} // namespace

char *writeMetadata(char *at, const EntryMetadata &metadata, bool ofRoot, DeviceTable &devices)
{
    unsigned char flags = ofRoot ? OfRoot : 0;
    if (!metadata.readable()) {
        *at++ = char(flags | Unreadable);
        return writeNumber(at, std::uint64_t(metadata.error));
    }
    flags |= (metadata.throughLink ? ThroughLink : 0) | (metadata.links != 1 ? NotOneLink : 0)
             | (metadata.hasModifiedTime ? 0 : NoModifiedTime) | (metadata.regular ? Regular : 0);
    *at++ = char(flags);
    at = writeNumber(at, devices.indexOf(metadata.identity.device));
    at = writeNumber(at, metadata.identity.inode);
    at = writeNumber(at, metadata.size);
    at = writeNumber(at, metadata.diskBytes >> blockShift);
    if (metadata.hasModifiedTime) {
        at = writeSignedNumber(at, metadata.modifiedSeconds);
        at = writeNumber(at, metadata.modifiedNanoseconds);
    }
    if (flags & NotOneLink)
        at = writeNumber(at, metadata.links);
    return at;
}

bool readMetadata(const char *&at, EntryMetadata &metadata, const DeviceTable &devices)
{
    const auto flags = static_cast<unsigned char>(*at++);
    metadata = EntryMetadata();
    if (flags & Unreadable) {
        metadata.error = int(readNumber(at));
        return flags & OfRoot;
    }
    metadata.throughLink = flags & ThroughLink;
    metadata.regular = flags & Regular;
    metadata.identity.device = devices.device(readNumber(at));
    metadata.identity.inode = ino_t(readNumber(at));
    metadata.size = readNumber(at);
    metadata.diskBytes = readNumber(at) << blockShift;
    metadata.hasModifiedTime = !(flags & NoModifiedTime);
    if (metadata.hasModifiedTime) {
        metadata.modifiedSeconds = readSignedNumber(at);
        metadata.modifiedNanoseconds = std::uint32_t(readNumber(at));
    }
    metadata.links = flags & NotOneLink ? std::uint32_t(readNumber(at)) : 1;
    return flags & OfRoot;
}
