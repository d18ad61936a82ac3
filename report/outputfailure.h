#pragma once

#include <string>

// The first thing that went wrong while writing an output, which is what the
// user is told: an errno value (or noFileName), and where it happened when
// that was not at the output itself.
struct OutputFailure
{
    static constexpr int noFileName = -1; // an error of our own beside errno's

    int error = 0;
    std::string place;    // the temporary folder, when the failure was there
    bool damaged = false; // it came during the final copy in place, which left the file part old, part new

    // Keeps the first failure only. Gives false, for `return failure.set(...)`.
    bool set(int newError, std::string where = {})
    {
        if (error == 0) {
            error = newError;
            place = std::move(where);
        }
        return false;
    }

    // The system's explanation, with the place where there is one and what
    // became of a file damaged.
    std::string text() const;
};
