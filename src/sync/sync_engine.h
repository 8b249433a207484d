#pragma once
// The synchronisation engine: the ERP attachment and its read, the turnstile
// connection, the tab list, the 2 s cycle and both reconnections, on a thread
// of their own. Nothing here waits on a window, and nothing a window does
// holds the cycle up: commands come in as queued calls, and what a window
// shows goes out as signals.
#include "erp/erp_reader.h"
#include "sync/mysql_connection.h"
#include "sync/reconciliation.h"
#include "sync/reconnect_policy.h"

#include <QObject>
#include <QSet>
#include <memory>

class QThread;
class QTimer;

// What the notification-area icon tells at a glance.
enum class TSyncTrayState { Waiting, Synchronised, Failing, Disconnected };

class TSyncEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickMs = 2000;

    explicit TSyncEngine(QObject *parent = nullptr);
    ~TSyncEngine() override;

    // Test seams, set before Start: the cycle's interval and the bound of
    // each ERP call.
    void SetTickMs(int ms) { m_tickMs = ms; }
    void SetErpCallLimit(std::chrono::milliseconds limit) { m_erpCallLimit = limit; }

public slots:
    // Attaches to the ERP with the settings the start-up connection used and
    // starts the cycle; an ERP that cannot be reached is attached later.
    void Start(const QString &erpDatabase, const QStringList &erpParams);
    // The user's connect (the button, F2, or the automatic connect of a start
    // with the system): reads the settings file, opens, empties the tab list
    // and marks every turnstile row closed before the first cycle writes.
    void ConnectTurnstile(const QString &settingsFile);
    // The user's disconnect: no automatic reconnection until the next connect.
    void DisconnectTurnstile();
    // Closes both connections and ends the engine's thread.
    void Stop();

signals:
    void StatusChanged(const QString &caption, quint32 colorRef);
    void CountersChanged(const QString &caption);
    void TrayStateChanged(TSyncTrayState state);
    void TurnstileConnectedChanged(bool connected);
    // The ERP database was lost (false) or is back (true).
    void ErpAvailableChanged(bool available);
    // A failure to show. userAction: the user's own connect failed, which is
    // always shown; otherwise it opens a failure episode, shown once.
    void Failure(const QString &message, bool userAction);
    // The episode is over: the cycle synchronised again, or the user
    // disconnected.
    void FailureEnded();
    // One cycle ended (tests and the tooltip read the time).
    void CycleEnded(bool synchronised);
    // The open tabs the turnstile was told of, after each cycle that ran.
    void OpenTabsCounted(int open);
    // The failure now reported, each time it differs from the one before
    // within an episode; FailureEnded closes the episode.
    void LastErrorChanged(const QString &message);
    void Stopped();

private:
    class TView;
    void Tick();
    bool AttachErp();
    void RetryErp();
    void ErpLost(const QString &error);
    // Opens the turnstile with the settings file as it stands; the error
    // text, empty on success.
    QString OpenTurnstile();
    void RetryTurnstile();
    void TurnstileLost(const QString &message, bool userAction = false);
    void PublishConnected(bool connected);
    bool RunReset(bool userAction);
    void HandleOutcome(const CycleOutcome &outcome);
    void LogOncePerEpisode(const QStringList &now, QSet<QString> &logged, const QString &prefix);
    void ReportFailure(const QString &message, bool userAction = false);
    void EndFailure(bool logRecovery);
    void SetTray(TSyncTrayState state);
    void ShowStatus(const QString &caption, quint32 colorRef);
    QString TurnstileText(const QString &what, const QString &error) const;
    QString ErpText(const QString &what, const QString &error) const;

    TReconciliador m_sincro;
    TMySqlConnection m_mysql;
    std::unique_ptr<TErpReader> m_erp;
    QTimer *m_tick = nullptr;
    QTimer *m_turnstileRetry = nullptr;
    QTimer *m_erpRetry = nullptr;
    TReconnectPolicy m_turnstilePolicy;
    TReconnectPolicy m_erpPolicy;
    QString m_settingsFile;
    int m_tickMs = TickMs;
    std::chrono::milliseconds m_erpCallLimit = TErpReader::DefaultCallLimit;
    bool m_userDisconnected = true; // no connect asked for yet
    bool m_resetOwed = false;
    bool m_publishedConnected = false;
    bool m_erpLost = false;
    bool m_failing = false;
    QString m_lastFailureLogged;
    QSet<QString> m_skippedLogged;
    QSet<QString> m_rejectedLogged;
    TSyncTrayState m_tray = TSyncTrayState::Waiting;
};

// Owns the engine and its thread.
class TSyncService : public QObject
{
    Q_OBJECT
public:
    explicit TSyncService(QObject *parent = nullptr);
    // Shuts down with a short wait; see Shutdown.
    ~TSyncService() override;

    TSyncEngine *Engine() const { return m_engine; }
    void Start(const QString &erpDatabase, const QStringList &erpParams);
    void ConnectTurnstile(const QString &settingsFile);
    void DisconnectTurnstile();
    // Asks the engine to stop and waits at most timeoutMs. False when it is
    // still inside a call to a server that does not answer: the caller ends
    // the process without it (the system closes the sockets).
    bool Shutdown(int timeoutMs);

private:
    QThread *m_thread = nullptr;
    TSyncEngine *m_engine = nullptr;
    bool m_shutDown = false;
};
