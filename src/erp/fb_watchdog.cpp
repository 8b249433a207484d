#include "erp/fb_watchdog.h"

#include "erp/fb_client.h"

TFbWatchdog::TFbWatchdog()
    : m_thread([this] { Run(); })
{
}

TFbWatchdog::~TFbWatchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

TFbWatchdog::TBound::TBound(TFbWatchdog &watchdog, TFbDatabase &database, std::chrono::milliseconds limit)
    : m_watchdog(watchdog)
{
    {
        const std::lock_guard lock(watchdog.m_mutex);
        watchdog.m_database = &database;
        watchdog.m_deadline = std::chrono::steady_clock::now() + limit;
        watchdog.m_stage = 0;
        watchdog.m_fired = false;
    }
    watchdog.m_changed.notify_all();
}

TFbWatchdog::TBound::~TBound()
{
    // Taken under the lock: once this returns, no cancel of this bound can
    // reach the attachment any more.
    const std::lock_guard lock(m_watchdog.m_mutex);
    m_watchdog.m_database = nullptr;
}

bool TFbWatchdog::Fired() const
{
    const std::lock_guard lock(m_mutex);
    return m_fired;
}

void TFbWatchdog::Run()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_database || m_stage >= 2) {
            m_changed.wait(lock);
            continue;
        }
        if (m_changed.wait_until(lock, m_deadline) != std::cv_status::timeout)
            continue; // re-armed, disarmed or quitting: look again
        if (!m_database || std::chrono::steady_clock::now() < m_deadline)
            continue;
        m_fired = true;
        m_database->CancelOperation(m_stage == 1);
        ++m_stage;
        m_deadline = std::chrono::steady_clock::now() + AbortGrace;
    }
}
