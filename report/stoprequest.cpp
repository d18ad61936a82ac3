#include "stoprequest.h"

bool StopRequest::request()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_saving)
        return false;
    m_requested = true;
    return true;
}

bool StopRequest::beginSaving()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_requested)
        return false;
    m_saving = true;
    return true;
}
