#include "terminalprogress.h"

#include "progresspace.h"

#include <cstdio>

TerminalProgress::TerminalProgress(bool enabled)
    : m_enabled(enabled)
{
    m_hook.interval = progressEntryStep;
    m_hook.report = [this](std::uint64_t entries) { update(entries); };
}

TerminalProgress::~TerminalProgress()
{
    clear();
}

const WalkProgress *TerminalProgress::stage(const char *name)
{
    if (!m_enabled)
        return nullptr;
    m_stage = name;
    draw(0);
    return &m_hook;
}

void TerminalProgress::clear()
{
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    m_drawn = false;
}

void TerminalProgress::update(std::uint64_t entries)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastDraw >= progressRedrawInterval)
        draw(entries);
}

void TerminalProgress::draw(std::uint64_t entries)
{
    m_lastDraw = std::chrono::steady_clock::now();
    if (entries > 0)
        std::fprintf(stderr, "\r\033[K%s: %llu entries", m_stage, static_cast<unsigned long long>(entries));
    else
        std::fprintf(stderr, "\r\033[K%s...", m_stage);
    std::fflush(stderr);
    m_drawn = true;
}

ProgressClearingBuffer::ProgressClearingBuffer(std::streambuf *target, TerminalProgress &progress)
    : m_target(target)
    , m_progress(progress)
{
}

int ProgressClearingBuffer::overflow(int character)
{
    if (traits_type::eq_int_type(character, traits_type::eof()))
        return traits_type::not_eof(character);
    m_progress.clear();
    return m_target->sputc(traits_type::to_char_type(character));
}

std::streamsize ProgressClearingBuffer::xsputn(const char *text, std::streamsize count)
{
    m_progress.clear();
    return m_target->sputn(text, count);
}

int ProgressClearingBuffer::sync()
{
    return m_target->pubsync();
}
