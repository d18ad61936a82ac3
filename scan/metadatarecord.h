#pragma once

#include "entrymetadata.h"
#include "recordednumbers.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The devices a recording's metadata names, each kept once: an entry names
// its device by its place here, in a byte or two, since a tree spans few.
class DeviceTable
{
public:
    std::uint64_t indexOf(dev_t device)
    {
        if (m_last < m_devices.size() && m_devices[m_last] == device)
            return m_last;
        for (m_last = 0; m_last < m_devices.size() && m_devices[m_last] != device; ++m_last) {
        }
        if (m_last == m_devices.size())
            m_devices.push_back(device);
        return m_last;
    }
    dev_t device(std::uint64_t index) const { return m_devices[index]; }

private:
    std::vector<dev_t> m_devices;
    std::size_t m_last = 0; // the one named last, which the next entry most likely names again
};

// The numbers of a readable entry's metadata, in the order they are written.
constexpr std::size_t metadataNumbers = 6;
static_assert(metadataNumbers % 2 == 0, "lengths go two to a byte");
// At most this many bytes are written for one entry's metadata: its flags,
// the numbers' lengths, the numbers.
constexpr std::size_t maximumMetadataBytes = 1 + metadataNumbers / 2 + metadataNumbers * maximumPackedBytes;

// Writes the metadata at `at`, compactly, and gives where it ends: a byte of
// flags, then the errno where it could not be read; else the device's place
// in `devices`, the inode, the apparent size, the 512-byte blocks, the
// modification time's seconds (0 where there is none) and the number of
// links, packed as recordednumbers.h packs a set.
char *writeMetadata(char *at, const EntryMetadata &metadata, bool ofRoot, DeviceTable &devices);
// Reads what writeMetadata wrote, moving `at` past it; gives whether it is
// the root's.
bool readMetadata(const char *&at, EntryMetadata &metadata, const DeviceTable &devices);
