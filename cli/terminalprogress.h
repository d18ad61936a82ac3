#pragma once

#include "walkprogress.h"

#include <chrono>
#include <cstdint>
#include <streambuf>

// The stage and the number of entries seen so far, redrawn in place on
// standard error a few times a second. Nothing else may share its row, so
// whatever else goes to the terminal clears it first.
class TerminalProgress
{
public:
    explicit TerminalProgress(bool enabled);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    // Shows the stage; gives the hook for the walk, or none when disabled.
    const WalkProgress *stage(const char *name);
    void clear();

private:
    void update(std::uint64_t entries);
    void draw(std::uint64_t entries);

    const bool m_enabled;
    bool m_drawn = false;
    const char *m_stage = "";
    std::chrono::steady_clock::time_point m_lastDraw;
    WalkProgress m_hook;
};

// Passes what is written on to another stream buffer, clearing the
// progress line first.
class ProgressClearingBuffer : public std::streambuf
{
public:
    ProgressClearingBuffer(std::streambuf *target, TerminalProgress &progress);

protected:
    int overflow(int character) override;
    std::streamsize xsputn(const char *text, std::streamsize count) override;
    int sync() override;

private:
    std::streambuf *const m_target;
    TerminalProgress &m_progress;
};
