#pragma once
// A bound on Firebird calls. The client has no time-out for a statement, a
// fetch or a commit: a server that stops answering (no FIN, no RST) would hold
// the caller for good. The watchdog's own thread interrupts the call once the
// limit has passed, and closes the connection a little later if the polite
// interruption did not get through.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class TFbDatabase;

class TFbWatchdog
{
public:
    // Time between the polite cancel and closing the connection.
    static constexpr std::chrono::milliseconds AbortGrace{1000};

    TFbWatchdog();
    ~TFbWatchdog();
    TFbWatchdog(const TFbWatchdog &) = delete;
    TFbWatchdog &operator=(const TFbWatchdog &) = delete;

    // Bounds the calls on database made while the guard lives.
    class TBound
    {
    public:
        TBound(TFbWatchdog &watchdog, TFbDatabase &database, std::chrono::milliseconds limit);
        ~TBound();
        TBound(const TBound &) = delete;
        TBound &operator=(const TBound &) = delete;

    private:
        TFbWatchdog &m_watchdog;
    };

    // Whether the last bound ran out (and its call was interrupted).
    bool Fired() const;

private:
    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    TFbDatabase *m_database = nullptr;
    std::chrono::steady_clock::time_point m_deadline;
    int m_stage = 0; // 0 armed, 1 cancelled, 2 aborted
    bool m_fired = false;
    bool m_quit = false;
    std::thread m_thread;
};
