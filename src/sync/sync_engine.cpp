#include "sync/sync_engine.h"

#include "sync/event_log.h"
#include "sync/turnstile_link.h"
#include "sync/turnstile_settings.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace {
QString StatusTurnstileLost()
{
    return QStringLiteral("SEM CONEXÃO COM A CATRACA");
}
} // namespace

// The cycle's labels, published to whoever shows them.
class TSyncEngine::TView : public ICycleView
{
public:
    explicit TView(TSyncEngine &engine) : m_engine(engine) {}
    void ShowStatus(const QString &caption, quint32 colorRef) override { m_engine.ShowStatus(caption, colorRef); }
    void ShowCounters(const QString &caption) override { emit m_engine.CountersChanged(caption); }

private:
    TSyncEngine &m_engine;
};

TSyncEngine::TSyncEngine(QObject *parent)
    : QObject(parent)
    , m_tick(new QTimer(this))
    , m_turnstileRetry(new QTimer(this))
    , m_erpRetry(new QTimer(this))
{
    m_tick->setObjectName(QStringLiteral("TMSincro"));
    connect(m_tick, &QTimer::timeout, this, &TSyncEngine::Tick);
    m_turnstileRetry->setSingleShot(true);
    connect(m_turnstileRetry, &QTimer::timeout, this, &TSyncEngine::RetryTurnstile);
    m_erpRetry->setSingleShot(true);
    connect(m_erpRetry, &QTimer::timeout, this, &TSyncEngine::RetryErp);
}

TSyncEngine::~TSyncEngine() = default;

QString TSyncEngine::TurnstileText(const QString &what, const QString &error) const
{
    return QStringLiteral("%1 (%2): %3").arg(what, m_mysql.Address(), error);
}

QString TSyncEngine::ErpText(const QString &what, const QString &error) const
{
    return QStringLiteral("%1 (%2): %3").arg(what, m_erp ? m_erp->Address() : QString(), error);
}

void TSyncEngine::ShowStatus(const QString &caption, quint32 colorRef)
{
    emit StatusChanged(caption, colorRef);
}

void TSyncEngine::SetTray(TSyncTrayState state)
{
    if (state == m_tray)
        return;
    m_tray = state;
    emit TrayStateChanged(state);
}

// ------------------------------------------------------------------ ERP side

void TSyncEngine::Start(const QString &erpDatabase, const QStringList &erpParams)
{
    m_erp = std::make_unique<TErpReader>(TErpSettings{erpDatabase, erpParams}, m_erpCallLimit);
    if (AttachErp())
        LogEvent(QStringLiteral("Conectado ao banco de dados do ERP: ") + erpDatabase);
    m_tick->start(m_tickMs);
}

bool TSyncEngine::AttachErp()
{
    try {
        m_erp->Attach();
    } catch (const std::exception &e) {
        ErpLost(ErrorMessageOf(e));
        return false;
    }
    m_erpPolicy.Reset();
    if (m_erpLost) {
        LogEvent(QStringLiteral("Conexão com o banco de dados do ERP restabelecida."));
        emit ErpAvailableChanged(true);
    }
    m_erpLost = false;
    return true;
}

void TSyncEngine::RetryErp()
{
    if (m_erp && !m_erp->Attached())
        AttachErp();
}

void TSyncEngine::ErpLost(const QString &error)
{
    if (!m_erpLost)
        emit ErpAvailableChanged(false);
    m_erpLost = true;
    ShowStatus(StatusFailed(), StatusColorFailed);
    if (m_mysql.Connected())
        SetTray(TSyncTrayState::Failing);
    ReportFailure(ErpText(QStringLiteral("Sem conexão com o banco de dados do ERP"), error));
    // Counted from the end of this try: a host that takes the whole connect
    // time-out to fail is not tried back to back.
    m_erpRetry->start(m_erpPolicy.NextDelayMs());
}

// ------------------------------------------------------------ turnstile side

QString TSyncEngine::OpenTurnstile()
{
    try {
        m_mysql.Params = turnstile::LoadConnectionParams(m_settingsFile);
    } catch (const std::exception &e) {
        // The settings file's own message ("Driver/Connection Registry File
        // ... not found") says all there is to say.
        return ErrorMessageOf(e);
    }
    try {
        m_mysql.Open();
    } catch (const std::exception &e) {
        return TurnstileText(QStringLiteral("Sem conexão com o banco da catraca"), ErrorMessageOf(e));
    }
    return QString();
}

void TSyncEngine::ConnectTurnstile(const QString &settingsFile)
{
    m_settingsFile = settingsFile;
    m_userDisconnected = false;
    m_turnstileRetry->stop();
    m_turnstilePolicy.Reset();
    m_sincro.Enviadas = 0;
    m_mysql.CloseResultSets();
    m_mysql.Close();
    // Every row is about to be marked closed: every open tab must be written
    // again, and nothing may be written before the reset has run.
    m_sincro.ConnectionReset();
    m_resetOwed = true;
    const QString error = OpenTurnstile();
    if (!error.isEmpty()) {
        TurnstileLost(error, true);
        return;
    }
    PublishConnected(true);
    SetTray(TSyncTrayState::Waiting);
    RunReset(true);
}

bool TSyncEngine::RunReset(bool userAction)
{
    try {
        m_mysql.ExecuteDirect(sql::ResetAll);
    } catch (const std::exception &e) {
        const QString message = TurnstileText(QStringLiteral("Falha ao gravar no banco da catraca"), ErrorMessageOf(e));
        if (!m_mysql.Connected()) {
            TurnstileLost(message, userAction);
            return false;
        }
        ShowStatus(StatusFailed(), StatusColorFailed);
        SetTray(TSyncTrayState::Failing);
        ReportFailure(message, userAction);
        return false;
    }
    m_resetOwed = false;
    LogEvent(QStringLiteral("Conectado à catraca."));
    return true;
}

void TSyncEngine::RetryTurnstile()
{
    if (m_userDisconnected || m_mysql.Connected())
        return;
    const QString error = OpenTurnstile();
    if (!error.isEmpty()) {
        ReportFailure(error);
        m_turnstileRetry->start(m_turnstilePolicy.NextDelayMs());
        return;
    }
    // The tab list is kept: what the turnstile already holds stays valid, so
    // only what changed meanwhile is written.
    m_turnstilePolicy.Reset();
    LogEvent(QStringLiteral("Conexão com a catraca restabelecida."));
    PublishConnected(true);
    SetTray(TSyncTrayState::Waiting);
    if (m_resetOwed)
        RunReset(false);
}

void TSyncEngine::PublishConnected(bool connected)
{
    // Unchanged is not published: a failed connect leaves the buttons as
    // they were.
    if (connected == m_publishedConnected)
        return;
    m_publishedConnected = connected;
    emit TurnstileConnectedChanged(connected);
}

void TSyncEngine::TurnstileLost(const QString &message, bool userAction)
{
    PublishConnected(false);
    ShowStatus(StatusTurnstileLost(), StatusColorFailed);
    SetTray(TSyncTrayState::Disconnected);
    ReportFailure(message, userAction);
    if (!m_userDisconnected && !m_turnstileRetry->isActive())
        m_turnstileRetry->start(m_turnstilePolicy.NextDelayMs());
}

void TSyncEngine::DisconnectTurnstile()
{
    m_userDisconnected = true;
    m_turnstileRetry->stop();
    m_turnstilePolicy.Reset();
    m_resetOwed = false;
    m_mysql.CloseResultSets();
    m_mysql.Close();
    LogEvent(QStringLiteral("Desconectado da catraca pelo usuário."));
    PublishConnected(false);
    EndFailure(false);
    SetTray(TSyncTrayState::Disconnected);
}

// --------------------------------------------------------------- the cycle

void TSyncEngine::Tick()
{
    if (!m_mysql.Connected())
        return;
    // A lost ERP was reported when it was lost; its re-attach is scheduled.
    if (!m_erp || !m_erp->Attached())
        return;
    if (m_resetOwed && !RunReset(false))
        return;
    TView view(*this);
    TMySqlTurnstileLink turnstile(m_mysql);
    HandleOutcome(m_sincro.TMSincroTimer(turnstile, *m_erp, view));
}

void TSyncEngine::LogOncePerEpisode(const QStringList &now, QSet<QString> &logged, const QString &prefix)
{
    QSet<QString> current;
    for (const QString &item : now) {
        if (!logged.contains(item))
            LogEvent(prefix + item);
        current.insert(item);
    }
    logged = current;
}

void TSyncEngine::HandleOutcome(const CycleOutcome &outcome)
{
    if (outcome.kind == CycleOutcome::Skipped)
        return;
    emit OpenTabsCounted(m_sincro.Abertas);
    for (const QString &line : outcome.writes)
        LogEvent(line);
    LogOncePerEpisode(outcome.skippedRows, m_skippedLogged,
                      QStringLiteral("Linha de COMANDAS ignorada: COM_NUMERO não cabe na catraca: "));
    QStringList rejected;
    for (const TRejectedWrite &r : outcome.rejected)
        rejected << QStringLiteral("comanda %1 (%2): %3")
                        .arg(r.numero)
                        .arg(r.flag == 0 ? QStringLiteral("aberta") : QStringLiteral("fechada"), r.error);
    LogOncePerEpisode(rejected, m_rejectedLogged, QStringLiteral("Gravação recusada pela catraca: "));

    if (outcome.Synchronised()) {
        EndFailure(true);
        SetTray(TSyncTrayState::Synchronised);
        emit CycleEnded(true);
        return;
    }
    if (outcome.side == CycleOutcome::Erp) {
        const QString message = ErpText(QStringLiteral("Falha ao ler o banco de dados do ERP"), outcome.error);
        if (!m_erp->Attached()) {
            ErpLost(outcome.error);
        } else {
            SetTray(TSyncTrayState::Failing);
            ReportFailure(message);
        }
    } else if (outcome.turnstileClosed) {
        TurnstileLost(TurnstileText(QStringLiteral("Sem conexão com o banco da catraca"), outcome.error));
    } else {
        SetTray(TSyncTrayState::Failing);
        ReportFailure(TurnstileText(QStringLiteral("Falha ao gravar no banco da catraca"),
                                    outcome.error.isEmpty() ? rejected.value(0) : outcome.error));
    }
    emit CycleEnded(false);
}

void TSyncEngine::ReportFailure(const QString &message, bool userAction)
{
    // A failure that repeats every cycle is written once, not every 2 s.
    if (message != m_lastFailureLogged) {
        LogEvent(QStringLiteral("Falha na sincronização: ") + message);
        emit LastErrorChanged(message);
    }
    m_lastFailureLogged = message;
    if (userAction || !m_failing)
        emit Failure(message, userAction);
    m_failing = true;
}

void TSyncEngine::EndFailure(bool logRecovery)
{
    if (m_failing) {
        if (logRecovery)
            LogEvent(QStringLiteral("Sincronização restabelecida."));
        emit FailureEnded();
    }
    m_failing = false;
    m_lastFailureLogged.clear();
}

void TSyncEngine::Stop()
{
    m_tick->stop();
    m_turnstileRetry->stop();
    m_erpRetry->stop();
    m_mysql.Close();
    m_erp.reset();
    emit Stopped();
    if (QThread *thread = QThread::currentThread(); thread != QCoreApplication::instance()->thread())
        thread->quit();
}

// ---------------------------------------------------------------- service

TSyncService::TSyncService(QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_engine(new TSyncEngine)
{
    qRegisterMetaType<TSyncTrayState>("TSyncTrayState");
    m_thread->setObjectName(QStringLiteral("sync-engine"));
    m_engine->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_engine, &QObject::deleteLater);
    m_thread->start();
}

TSyncService::~TSyncService()
{
    if (!Shutdown(2000)) {
        // Still inside a call that will end by its own time-out: leave the
        // thread to the end of the process rather than destroy it running.
        m_thread->setParent(nullptr);
        return;
    }
    delete m_thread;
}

void TSyncService::Start(const QString &erpDatabase, const QStringList &erpParams)
{
    QMetaObject::invokeMethod(m_engine, [e = m_engine, erpDatabase, erpParams] { e->Start(erpDatabase, erpParams); },
                              Qt::QueuedConnection);
}

void TSyncService::ConnectTurnstile(const QString &settingsFile)
{
    QMetaObject::invokeMethod(m_engine, [e = m_engine, settingsFile] { e->ConnectTurnstile(settingsFile); },
                              Qt::QueuedConnection);
}

void TSyncService::DisconnectTurnstile()
{
    QMetaObject::invokeMethod(m_engine, &TSyncEngine::DisconnectTurnstile, Qt::QueuedConnection);
}

bool TSyncService::Shutdown(int timeoutMs)
{
    if (m_shutDown)
        return m_thread->isFinished();
    m_shutDown = true;
    QMetaObject::invokeMethod(m_engine, &TSyncEngine::Stop, Qt::QueuedConnection);
    return m_thread->wait(QDeadlineTimer(timeoutMs));
}
