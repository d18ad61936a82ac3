#pragma once

#include <sys/types.h>

// Makes the file open for writing on `into` hold the first `length` bytes of
// the file open for reading on `from`, and nothing more, synced to its disk.
// The caller holds the lock that keeps other writers out.
//
// The space the new content needs is reserved before a byte of `into` is
// touched, and the length checked against the file size limit; where either
// fails, `into` is left as it was. Where the file system cannot reserve
// space, a longer content first gets what lies beyond the end of `into` (its
// earlier bytes stay as they are), and `into` is cut back if that fails.
// From the copy on, signals that would end the process are held back (see
// HeldSignals). The set-user-ID and set-group-ID bits and a file
// capability, which writing clears, are put back where the process may.
struct InPlaceCopy
{
    int error = 0;        // what stopped it, or 0
    bool damaged = false; // it stopped once bytes of `into` had changed: part old, part new
};
InPlaceCopy copyInPlace(int from, int into, off_t length);
