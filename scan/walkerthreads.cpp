#include "walkerthreads.h"

namespace {

// Room for the walk's own calls, with a wide margin: it never recurses.
constexpr std::size_t stackBytes = 256 * 1024;

void *run(void *work)
{
    (*static_cast<std::function<void()> *>(work))();
    return nullptr;
}

} // namespace

bool WalkerThreads::start(std::function<void()> work)
{
    auto thread = std::make_unique<Thread>(Thread{{}, std::move(work)});
    m_threads.reserve(m_threads.size() + 1); // nothing may throw once it runs
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0)
        return false;
    const bool started = ::pthread_attr_setstacksize(&attributes, stackBytes) == 0
        && ::pthread_create(&thread->handle, &attributes, run, &thread->work) == 0;
    ::pthread_attr_destroy(&attributes);
    if (started)
        m_threads.push_back(std::move(thread));
    return started;
}

void WalkerThreads::joinAll()
{
    for (const auto &thread : m_threads)
        ::pthread_join(thread->handle, nullptr);
    m_threads.clear();
}
