#include "sizefields.h"

#include "jsontext.h"
#include "reasontext.h"

namespace {

void appendNumber(std::string &out, const char *field, std::uint64_t value)
{
    out.append(field).append(std::to_string(value));
}

} // namespace

void appendEntrySizes(std::string &out, const EntryMetadata &metadata)
{
    if (!metadata.readable()) {
        out.append(",\"metadata_reason\":");
        appendJsonString(out, unreadableText(metadata.error));
        return;
    }
    appendNumber(out, ",\"size\":", metadata.size);
    appendNumber(out, ",\"disk\":", metadata.diskBytes);
    if (metadata.hasModifiedTime)
        out.append(",\"mtime\":").append(std::to_string(metadata.modifiedSeconds));
}

void appendSubtreeSizes(std::string &out, const SubtreeSizes::Totals &totals)
{
    if (totals.countedElsewhere) {
        out.append(",\"counted_elsewhere\":true");
        return;
    }
    appendNumber(out, ",\"total_size\":", totals.apparentBytes);
    appendNumber(out, ",\"total_disk\":", totals.diskBytes);
    appendNumber(out, ",\"shared_size\":", totals.sharedApparentBytes);
    appendNumber(out, ",\"shared_disk\":", totals.sharedDiskBytes);
    if (totals.hasNewest)
        out.append(",\"newest_mtime\":").append(std::to_string(totals.newest));
    if (totals.unreadable > 0)
        appendNumber(out, ",\"unreadable_entries\":", totals.unreadable);
}
