#include "metadatarecord.h"

namespace {

enum Flag : unsigned char {
    OfRoot = 1,
    Unreadable = 2,
    ThroughLink = 4,
    NoModifiedTime = 8,
    Regular = 16,
    LeadsNowhere = 32,
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
    flags |= (metadata.throughLink ? ThroughLink : 0) | (metadata.hasModifiedTime ? 0 : NoModifiedTime)
             | (metadata.regular ? Regular : 0) | (metadata.leadsNowhere ? LeadsNowhere : 0);
    *at++ = char(flags);
    const std::uint64_t numbers[metadataNumbers] = {devices.indexOf(metadata.identity.device),
                                                    metadata.identity.inode,
                                                    metadata.size,
                                                    metadata.diskBytes >> blockShift,
                                                    foldSign(metadata.hasModifiedTime ? metadata.modifiedSeconds : 0),
                                                    metadata.links};
    unsigned lengths[metadataNumbers];
    for (std::size_t i = 0; i < metadataNumbers; ++i)
        lengths[i] = packedLength(numbers[i]);
    for (std::size_t i = 0; i < metadataNumbers; i += 2)
        *at++ = char(lengths[i] | lengths[i + 1] << 4);
    for (std::size_t i = 0; i < metadataNumbers; ++i)
        at = writePackedNumber(at, numbers[i], lengths[i]);
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
    unsigned lengths[metadataNumbers];
    for (std::size_t i = 0; i < metadataNumbers; i += 2) {
        const auto both = static_cast<unsigned char>(*at++);
        lengths[i] = both & 0xF;
        lengths[i + 1] = both >> 4;
    }
    std::uint64_t numbers[metadataNumbers];
    for (std::size_t i = 0; i < metadataNumbers; ++i)
        numbers[i] = readPackedNumber(at, lengths[i]);
    metadata.throughLink = flags & ThroughLink;
    metadata.regular = flags & Regular;
    metadata.leadsNowhere = flags & LeadsNowhere;
    metadata.identity.device = devices.device(numbers[0]);
    metadata.identity.inode = ino_t(numbers[1]);
    metadata.size = numbers[2];
    metadata.diskBytes = numbers[3] << blockShift;
    metadata.hasModifiedTime = !(flags & NoModifiedTime);
    metadata.modifiedSeconds = unfoldSign(numbers[4]);
    metadata.links = std::uint32_t(numbers[5]);
    return flags & OfRoot;
}
