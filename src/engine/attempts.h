#pragma once
// Connection attempts to a peer that may accept and then say nothing. Each
// attempt runs on a thread of its own; the caller waits a short patience for
// it. One that has not answered by then is left running beside the next
// call's fresh attempt, and whichever answers first is taken: a call into a
// silence never holds the next attempt back. A few attempts at most are kept
// in flight; one pushed out, or past its bound, is abandoned and releases
// its handle itself when it ends. An attempt cannot be cancelled (a Firebird
// attach into such a peer waits until TCP gives up, hours), so once many are
// still running the next starts only every crowded spacing, and at the cap
// none starts until one has ended: a server hung for days (its host still
// acknowledging) must not cost a thread every few seconds for as long.
#include "engine/sync_ports.h"

#include <QString>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

template <class Handle>
class TAttempts
{
public:
    struct TLimits {
        int maxInFlight = 4;
        int crowded = 16; // running attempts past which they are spaced
        std::chrono::milliseconds crowdedSpacing{15000};
        int cap = 64; // running attempts past which none starts
    };

    explicit TAttempts(TLimits limits = {}) : m_limits(limits), m_shared(std::make_shared<TShared>()) {}
    ~TAttempts() { AbandonAll(); }
    TAttempts(const TAttempts &) = delete;
    TAttempts &operator=(const TAttempts &) = delete;

    // A handle connected with key's settings: one an earlier attempt made
    // meanwhile, or the fresh attempt's. Raises the fresh attempt's failure,
    // or TCallTimedOut once patience has passed with no attempt answering.
    // connect runs on another thread and raises on failure.
    std::shared_ptr<Handle> Get(const QString &key, std::function<std::shared_ptr<Handle>()> connect,
                                std::chrono::milliseconds patience, std::chrono::milliseconds bound)
    {
        std::unique_lock lock(m_shared->mutex);
        const auto now = Clock::now();
        for (auto it = m_inFlight.begin(); it != m_inFlight.end();) {
            const bool stale = (*it)->key != key || now - (*it)->started > bound
                               || ((*it)->finished && !(*it)->result);
            if (stale) {
                Abandon(**it);
                it = m_inFlight.erase(it);
            } else {
                ++it;
            }
        }
        if (auto ready = Take())
            return ready;
        std::shared_ptr<TAttempt> fresh;
        const int running = m_shared->running;
        if (running < m_limits.crowded || (running < m_limits.cap && now - m_lastStart >= m_limits.crowdedSpacing))
            fresh = Start(key, std::move(connect), now);
        m_shared->done.wait_for(lock, patience, [&] { return (fresh && fresh->finished) || Ready(); });
        if (auto ready = Take())
            return ready;
        if (fresh && fresh->finished) {
            m_inFlight.remove(fresh);
            std::rethrow_exception(fresh->error);
        }
        throw TCallTimedOut(QStringLiteral("O servidor não respondeu em %1 s.")
                                .arg(std::chrono::duration_cast<std::chrono::seconds>(patience).count()));
    }

    void AbandonAll()
    {
        std::unique_lock lock(m_shared->mutex);
        for (const auto &attempt : m_inFlight)
            Abandon(*attempt);
        m_inFlight.clear();
    }

private:
    using Clock = std::chrono::steady_clock;
    struct TShared {
        std::mutex mutex;
        std::condition_variable done;
        int running = 0;
    };
    struct TAttempt {
        QString key;
        Clock::time_point started;
        bool finished = false;
        bool abandoned = false;
        std::shared_ptr<Handle> result;
        std::exception_ptr error;
    };

    // Under the lock.
    std::shared_ptr<TAttempt> Start(const QString &key, std::function<std::shared_ptr<Handle>()> connect,
                                    Clock::time_point now)
    {
        if (int(m_inFlight.size()) >= m_limits.maxInFlight) {
            Abandon(*m_inFlight.front());
            m_inFlight.pop_front();
        }
        auto fresh = std::make_shared<TAttempt>();
        fresh->key = key;
        fresh->started = now;
        m_inFlight.push_back(fresh);
        m_lastStart = now;
        ++m_shared->running;
        std::thread([shared = m_shared, fresh, connect = std::move(connect)] {
            std::shared_ptr<Handle> result;
            std::exception_ptr error;
            try {
                result = connect();
            } catch (...) {
                error = std::current_exception();
            }
            std::unique_lock lock(shared->mutex);
            --shared->running;
            fresh->finished = true;
            if (fresh->abandoned) {
                lock.unlock();
                return; // result, if any, is released here, on this thread
            }
            fresh->result = std::move(result);
            fresh->error = error;
            shared->done.notify_all();
        }).detach();
        return fresh;
    }

    bool Ready() const
    {
        for (const auto &attempt : m_inFlight)
            if (attempt->finished && attempt->result)
                return true;
        return false;
    }
    // The first attempt that answered; the others are abandoned. Under the lock.
    std::shared_ptr<Handle> Take()
    {
        for (const auto &attempt : m_inFlight) {
            if (!attempt->finished || !attempt->result)
                continue;
            std::shared_ptr<Handle> taken = std::move(attempt->result);
            for (const auto &other : m_inFlight)
                Abandon(*other);
            m_inFlight.clear();
            return taken;
        }
        return nullptr;
    }
    // Under the lock. A running attempt releases its handle itself when it
    // ends; a finished one's is released on a thread of its own, since
    // closing a connection to a peer gone silent waits too.
    static void Abandon(TAttempt &attempt)
    {
        attempt.abandoned = true;
        if (attempt.result)
            std::thread([handle = std::move(attempt.result)] {}).detach();
    }

    const TLimits m_limits;
    std::shared_ptr<TShared> m_shared;
    std::list<std::shared_ptr<TAttempt>> m_inFlight;
    Clock::time_point m_lastStart;
};
