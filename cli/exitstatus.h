#pragma once

// velmora-map's exit status. A signal that ends the run (SIGHUP, SIGINT,
// SIGQUIT or SIGTERM) gives 128 and its number instead (Interruption).
enum ExitStatus {
    Written = 0,           // the report was written
    NotWritten = 1,        // it could not be; an earlier report is left as it was
    UsageError = 2,        // a usage error, or a root that cannot be mapped
    WrittenIncomplete = 3, // written, but some directory, or some entry's size, could not be read
};
