#pragma once
// The engine's decisions: when to read the ERP, what to write, when to reset,
// when to try a lost side again, and what to publish. It takes the time from
// a clock and reaches both databases through ports, so the same code runs on
// the engine's thread against the real clients and, in the simulation, on a
// virtual clock against fakes.
//
// Its promises, checked in every order of events the simulation draws:
//  1. No tab the ERP's last read had open reads closed in the turnstile,
//     at any moment, in any order of events, a broken link included. The
//     reset a connect owes runs only in a cycle that read the ERP, after
//     that cycle wrote the open tabs, and closes only the rows of tabs that
//     read did not have open. While the ERP cannot be read the reset stays
//     owed and no row changes; a refused reset leaves it owed.
//  2. A write whose outcome is unknown (the connection went during it) leaves
//     the tab unknown: its state is written again, whatever the ERP says next.
//     So does every tab once a reconnection finds the server restarted (its
//     connection ids started over): what it held may be gone. A cycle that
//     met such a restart is not called synchronised.
//  3. An automatic reconnection uses the settings of the last connect (the
//     user's, or the start's in the hidden and headless modes), like the
//     per-write reconnection; new settings take effect at the next connect.
//  4. Every call that can block has a bound, the ERP attach included; a call
//     that ran out of its bound is tried again with a longer one (up to a
//     cap), so an ERP that is slow but answering is not cancelled forever.
//  5. An attach or a connection into a peer that accepted and went silent
//     never holds the next attempt back: a fresh one starts beside it every
//     4 s and the first to answer is taken, so the program is back within
//     5 s of the peer answering again. (A call already running on a
//     connection that goes silent ends at its own bound first; after 16
//     attempts that never ended, a fresh one starts every 15 s, and at 64
//     none until one ends.)
//  6. The turnstile connection is checked on every tick while the ERP is
//     lost, so it neither idles out nor raises a false alarm on the ERP's
//     return; a check that fails is given one reconnection before the
//     turnstile counts as lost.
//  7. Automatic retries run until the user disconnects, and the user can
//     always disconnect (the session stays active while retries run).
#include "engine/failure_text.h"
#include "engine/reconciliation.h"
#include "engine/reconnect_policy.h"
#include "engine/sync_ports.h"

#include <QSet>
#include <QString>
#include <chrono>
#include <functional>

// What the notification-area icon tells at a glance.
enum class TSyncTrayState { Waiting, Synchronised, Failing, Disconnected };

// What the engine publishes; every call comes from the engine's own thread.
class ISyncEvents
{
public:
    virtual ~ISyncEvents() = default;
    virtual void OnStatus(const QString &, quint32) {}
    virtual void OnCounters(const QString &) {}
    virtual void OnTray(TSyncTrayState) {}
    virtual void OnTurnstileConnected(bool) {}
    // A connect was asked for and the user has not disconnected since: the
    // connection is open or being retried.
    virtual void OnSessionActive(bool) {}
    virtual void OnErpAvailable(bool) {}
    virtual void OnFailure(const QString &, bool /*userAction*/) {}
    virtual void OnFailureEnded() {}
    virtual void OnCycleEnded(bool /*synchronised*/) {}
    virtual void OnOpenTabs(int) {}
    virtual void OnLastError(const QString &) {}
    virtual void OnLog(const QString &) {}
};

class TSyncCore
{
public:
    static constexpr int TickMs = 2000;
    static constexpr std::chrono::milliseconds DefaultErpLimit{10000};
    static constexpr std::chrono::milliseconds MaxErpLimit{60000};
    // How often a missing turnstile settings file is looked for.
    static constexpr int SettingsLookMs = 1000;

    TSyncCore(IClock &clock, IErpPort &erp, ITurnstilePort &turnstile, ISyncEvents &events);

    void SetTickMs(int ms) { m_tickMs = ms; }
    void SetErpLimit(std::chrono::milliseconds limit);
    // Where a re-attach reads the ERP's settings anew, so a file mended by
    // hand or by the ERP is picked up; without it the start's are kept.
    void SetErpSettingsSource(std::function<TErpSettings()> source) { m_erpSettingsSource = std::move(source); }

    // Attaches to the ERP (later, when it cannot be reached now) and starts
    // the cycle.
    void Start(const TErpSettings &erp);
    // The user's connect (or the automatic one of a hidden start): reads the
    // settings file, opens, empties the tab list and owes the reset.
    void ConnectTurnstile(const QString &settingsFile);
    void DisconnectTurnstile();
    void Stop();

    // Runs what is due at the clock's present; NextDueMs is when to call
    // again (-1: nothing scheduled).
    void RunDue();
    qint64 NextDueMs() const;

    const TReconciliador &Reconciliador() const { return m_sincro; }
    bool ResetOwed() const { return m_resetOwed; }
    std::chrono::milliseconds ErpLimit() const { return m_erpLimit; }

private:
    class TView;
    void Tick();
    void KeepTurnstileAlive();
    void KeepErpAlive();
    bool TurnstileRestarted();
    void RewriteAll();
    bool AttachErp();
    void ErpLost(const QString &message, int retryDelayMs = -1);
    int RetryDelayAfter(const std::exception &error, TReconnectPolicy &policy);
    // A side that is back is synchronised at once, not at the next tick.
    void CycleNow();
    void RetryTurnstile();
    // The turnstile's settings for the connect; false (reported, and looked
    // for again) while the file is missing.
    bool LoadTurnstileSettings(bool userAction);
    void TurnstileLost(const QString &message, bool userAction = false);
    void PublishConnected(bool connected);
    void PublishSession(bool active);
    void HandleOutcome(const CycleOutcome &outcome, qint64 cycleMs);
    void AdaptErpLimit(const CycleOutcome &outcome, qint64 cycleMs);
    void LogOncePerEpisode(const QStringList &now, QSet<QString> &logged, const QString &prefix);
    void ReportFailure(const QString &message, bool userAction = false);
    void EndFailure(bool logRecovery);
    void SetTray(TSyncTrayState state);
    // The failure explained, naming the side and its address.
    QString Describe(TFailureSide side, TFailureStage stage, const std::exception &error) const;
    QString Describe(TFailureSide side, TFailureStage stage, const std::exception_ptr &error,
                     const QString &text) const;
    void Schedule(qint64 &due, int delayMs);

    IClock &m_clock;
    IErpPort &m_erp;
    ITurnstilePort &m_turnstile;
    ISyncEvents &m_events;
    TReconciliador m_sincro;
    TReconnectPolicy m_turnstilePolicy;
    TReconnectPolicy m_erpPolicy;
    TErpSettings m_erpSettings;
    std::function<TErpSettings()> m_erpSettingsSource;
    QString m_turnstileSettingsFile; // of the last connect
    QStringList m_turnstileParams;   // of the last connect; empty until its file was read
    int m_seenRestarts = 0;
    int m_tickMs = TickMs;
    std::chrono::milliseconds m_erpLimit = DefaultErpLimit;
    std::chrono::milliseconds m_erpBaseLimit = DefaultErpLimit;
    qint64 m_tickDue = -1;
    qint64 m_turnstileRetryDue = -1;
    qint64 m_erpRetryDue = -1;
    bool m_started = false;
    bool m_userDisconnected = true; // no connect asked for yet
    bool m_resetOwed = false;
    bool m_publishedConnected = false;
    bool m_sessionActive = false;
    bool m_erpLost = false;
    bool m_erpReached = false; // attached at least once
    bool m_failing = false;
    QString m_lastFailureLogged;
    QSet<QString> m_skippedLogged;
    QSet<QString> m_rejectedLogged;
    TSyncTrayState m_tray = TSyncTrayState::Waiting;
};
