#include "directorylisting.h"

#include "directoryopener.h"
#include "directoryreader.h"
#include "scopeddescriptor.h"

#include <fcntl.h>

DirectoryListing listDirectory(const std::string &directoryPath)
{
    DirectoryListing listing;
    const ScopedDescriptor directory(::open(directoryPath.c_str(), directoryOpenFlags));
    if (!directory.isValid())
        return listing;
    listing.opened = true;

    EntryTable table;
    DirectoryReader().readAll(directory.get(), table);
    listing.entries.reserve(table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string_view name = table.name(table[i]);
        std::string childPath;
        childPath.reserve(directoryPath.size() + 1 + name.size());
        childPath.append(directoryPath).append(1, '/').append(name);
        listing.entries.push_back({std::string(name), std::move(childPath), table[i].isDirectory});
    }
    return listing;
}
