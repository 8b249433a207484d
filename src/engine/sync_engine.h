#pragma once
// The synchronisation engine: the ERP attachment and its read, the turnstile
// connection, the tab list, the 2 s cycle and both reconnections, on a thread
// of their own. Nothing here waits on a window, and nothing a window does
// holds the cycle up: commands come in as queued calls, and what a window
// shows goes out as signals.
#include "engine/sync_core.h"
#include "engine/sync_ports.h"

#include <QElapsedTimer>
#include <QObject>
#include <memory>

class QThread;
class QTimer;

// The two peers the engine drives. The program passes the real clients
// (app/client_ports.h); the engine knows them only through the ports.
struct TSyncPorts {
    std::unique_ptr<IErpPort> Erp;
    std::unique_ptr<ITurnstilePort> Turnstile;
};

// The engine's decisions (TSyncCore) run here on the real clock, against the
// ports it is given, woken by one timer set to the next thing that is due.
class TSyncEngine : public QObject, private ISyncEvents, private IClock
{
    Q_OBJECT
public:
    static constexpr int TickMs = TSyncCore::TickMs;

    explicit TSyncEngine(TSyncPorts ports, QObject *parent = nullptr);
    ~TSyncEngine() override;

    // Test seams, set before Start: the cycle's interval and the bound of
    // each ERP call.
    void SetTickMs(int ms) { m_core.SetTickMs(ms); }
    void SetErpCallLimit(std::chrono::milliseconds limit) { m_core.SetErpLimit(limit); }
    // Read on the engine's thread at every re-attach.
    void SetErpSettingsSource(std::function<TErpSettings()> source) { m_core.SetErpSettingsSource(std::move(source)); }

public slots:
    // Attaches to the ERP with the settings the start-up connection used and
    // starts the cycle; an ERP that cannot be reached is attached later.
    void Start(const QString &erpDatabase, const QStringList &erpParams);
    // The user's connect (the button, F2, or the automatic connect of a start
    // with the system): reads the settings file, opens and empties the tab
    // list; the first cycle that reads the ERP marks every turnstile row
    // closed and writes the open tabs.
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
    // From a connect until the user's disconnect, also while retries run.
    void SessionActiveChanged(bool active);
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
    void Wake();
    void Rearm();
    qint64 NowMs() const override { return m_clock.elapsed(); }
    void OnStatus(const QString &caption, quint32 colorRef) override { emit StatusChanged(caption, colorRef); }
    void OnCounters(const QString &caption) override { emit CountersChanged(caption); }
    void OnTray(TSyncTrayState state) override { emit TrayStateChanged(state); }
    void OnTurnstileConnected(bool connected) override { emit TurnstileConnectedChanged(connected); }
    void OnSessionActive(bool active) override { emit SessionActiveChanged(active); }
    void OnErpAvailable(bool available) override { emit ErpAvailableChanged(available); }
    void OnFailure(const QString &message, bool userAction) override { emit Failure(message, userAction); }
    void OnFailureEnded() override { emit FailureEnded(); }
    void OnCycleEnded(bool synchronised) override { emit CycleEnded(synchronised); }
    void OnOpenTabs(int open) override { emit OpenTabsCounted(open); }
    void OnLastError(const QString &message) override { emit LastErrorChanged(message); }
    void OnLog(const QString &line) override;

    QElapsedTimer m_clock;
    TSyncPorts m_ports;
    TSyncCore m_core;
    QTimer *m_wake = nullptr;
};

// Owns the engine and its thread.
class TSyncService : public QObject
{
    Q_OBJECT
public:
    explicit TSyncService(TSyncPorts ports, QObject *parent = nullptr);
    // Shuts down with a short wait; see Shutdown.
    ~TSyncService() override;

    TSyncEngine *Engine() const { return m_engine; }
    void Start(const QString &erpDatabase, const QStringList &erpParams);
    // Set before Start; see TSyncEngine::SetErpSettingsSource.
    void SetErpSettingsSource(std::function<TErpSettings()> source);
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
