#include "engine/sync_core.h"

#include <algorithm>

namespace {
QString StatusTurnstileLost()
{
    return QStringLiteral("SEM CONEXÃO COM A CATRACA");
}
QString StatusErpLost()
{
    return QStringLiteral("SEM CONEXÃO COM O ERP");
}
} // namespace

// The cycle's labels, published to whoever shows them.
class TSyncCore::TView : public ICycleView
{
public:
    explicit TView(ISyncEvents &events) : m_events(events) {}
    void ShowStatus(const QString &caption, quint32 colorRef) override { m_events.OnStatus(caption, colorRef); }
    void ShowCounters(const QString &caption) override { m_events.OnCounters(caption); }

private:
    ISyncEvents &m_events;
};

TSyncCore::TSyncCore(IClock &clock, IErpPort &erp, ITurnstilePort &turnstile, ISyncEvents &events)
    : m_clock(clock), m_erp(erp), m_turnstile(turnstile), m_events(events)
{
}

void TSyncCore::SetErpLimit(std::chrono::milliseconds limit)
{
    m_erpBaseLimit = m_erpLimit = limit;
    m_erp.SetCallLimit(limit);
}

QString TSyncCore::Describe(TFailureSide side, TFailureStage stage, const std::exception &error) const
{
    return DescribeFailure(side, stage, side == TFailureSide::Erp ? m_erp.Address() : m_turnstile.Address(), error);
}

QString TSyncCore::Describe(TFailureSide side, TFailureStage stage, const std::exception_ptr &error,
                            const QString &text) const
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return Describe(side, stage, e);
    } catch (...) {
    }
    return Describe(side, stage, KrError(text));
}

void TSyncCore::SetTray(TSyncTrayState state)
{
    if (state == m_tray)
        return;
    m_tray = state;
    m_events.OnTray(state);
}

void TSyncCore::Schedule(qint64 &due, int delayMs)
{
    due = m_clock.NowMs() + delayMs;
}

// ---------------------------------------------------------------- timing

void TSyncCore::RunDue()
{
    const qint64 now = m_clock.NowMs();
    if (m_erpRetryDue >= 0 && now >= m_erpRetryDue) {
        m_erpRetryDue = -1;
        if (!m_erp.Attached())
            AttachErp();
    }
    if (m_turnstileRetryDue >= 0 && now >= m_turnstileRetryDue) {
        m_turnstileRetryDue = -1;
        RetryTurnstile();
    }
    if (m_tickDue >= 0 && now >= m_tickDue) {
        m_tickDue += m_tickMs;
        Tick();
        // A cycle that overran its interval is followed by the next at once,
        // not by a burst of the ones it missed.
        if (m_tickDue >= 0)
            m_tickDue = std::max(m_tickDue, m_clock.NowMs());
    }
}

qint64 TSyncCore::NextDueMs() const
{
    qint64 next = -1;
    for (qint64 due : {m_tickDue, m_turnstileRetryDue, m_erpRetryDue})
        if (due >= 0 && (next < 0 || due < next))
            next = due;
    return next;
}

// ------------------------------------------------------------------ ERP side

void TSyncCore::Start(const TErpSettings &erp)
{
    m_erpSettings = erp;
    m_started = true;
    m_erp.SetCallLimit(m_erpLimit);
    if (AttachErp())
        m_events.OnLog(QStringLiteral("Conectado ao banco de dados do ERP: ") + erp.DatabaseName);
    Schedule(m_tickDue, m_tickMs);
}

bool TSyncCore::AttachErp()
{
    if (m_erpSettingsSource) {
        try {
            m_erpSettings = m_erpSettingsSource();
        } catch (const std::exception &e) {
            m_events.OnLog(QStringLiteral("Configuração do banco de dados do ERP ilegível, mantida a anterior: ")
                           + ErrorMessageOf(e));
        }
    }
    try {
        m_erp.Attach(m_erpSettings);
    } catch (const std::exception &e) {
        ErpLost(Describe(TFailureSide::Erp, TFailureStage::Connect, e), RetryDelayAfter(e, m_erpPolicy));
        return false;
    }
    m_erpPolicy.Reset();
    if (m_erpLost)
        m_events.OnLog(m_erpReached ? QStringLiteral("Conexão com o banco de dados do ERP restabelecida.")
                                    : QStringLiteral("Conectado ao banco de dados do ERP: ") + m_erpSettings.DatabaseName);
    // The first attach is published too: a loss is told apart from an ERP
    // that was never reached.
    if (m_erpLost || !m_erpReached)
        m_events.OnErpAvailable(true);
    if (m_erpLost)
        CycleNow();
    m_erpLost = false;
    m_erpReached = true;
    return true;
}

int TSyncCore::RetryDelayAfter(const std::exception &error, TReconnectPolicy &policy)
{
    // An attempt that did not answer is still running: the next one starts
    // soon beside it, so a peer that answers again is used within seconds.
    if (dynamic_cast<const TCallTimedOut *>(&error))
        return TReconnectPolicy::FirstDelayMs;
    return policy.NextDelayMs();
}

void TSyncCore::CycleNow()
{
    if (m_tickDue >= 0)
        m_tickDue = m_clock.NowMs();
}

void TSyncCore::ErpLost(const QString &message, int retryDelayMs)
{
    if (!m_erpLost)
        m_events.OnErpAvailable(false);
    m_erpLost = true;
    m_events.OnStatus(StatusErpLost(), StatusColorFailed);
    if (m_sessionActive)
        SetTray(TSyncTrayState::Failing);
    ReportFailure(message);
    // Counted from the end of this try: a host that takes the whole connect
    // time-out to fail is not tried back to back.
    if (m_started)
        Schedule(m_erpRetryDue, retryDelayMs >= 0 ? retryDelayMs : m_erpPolicy.NextDelayMs());
}

// ------------------------------------------------------------ turnstile side

void TSyncCore::ConnectTurnstile(const QString &settingsFile)
{
    // The user asks for synchronisation now: a lost ERP is tried at once too.
    if (m_started && !m_erp.Attached()) {
        m_erpRetryDue = -1;
        m_erpPolicy.Reset();
        AttachErp();
    }
    m_userDisconnected = false;
    m_turnstileRetryDue = -1;
    m_turnstilePolicy.Reset();
    m_sincro.Enviadas = 0;
    m_turnstile.Close();
    // Every row but the open tabs' is about to be marked closed: every open
    // tab is written again first.
    m_sincro.ConnectionReset();
    m_resetOwed = true;
    m_turnstileSettingsFile = settingsFile;
    m_turnstileParams.clear();
    PublishSession(true);
    if (!LoadTurnstileSettings(true))
        return;
    try {
        m_turnstile.Open(m_turnstileParams);
    } catch (const std::exception &e) {
        TurnstileLost(Describe(TFailureSide::Turnstile, TFailureStage::Connect, e), true);
        return;
    }
    PublishConnected(true);
    SetTray(TSyncTrayState::Waiting);
}

bool TSyncCore::LoadTurnstileSettings(bool userAction)
{
    try {
        // The user's connect reads the file as it stands; a retry waits
        // until it is whole.
        m_turnstileParams = userAction ? m_turnstile.LoadParams(m_turnstileSettingsFile)
                                       : m_turnstile.LoadWrittenParams(m_turnstileSettingsFile);
        return true;
    } catch (const std::exception &e) {
        // Nothing to connect with yet: looking for the file costs nothing,
        // so it is looked for every second, until it is there or the user
        // disconnects.
        PublishConnected(false);
        m_events.OnStatus(StatusTurnstileLost(), StatusColorFailed);
        SetTray(TSyncTrayState::Failing);
        ReportFailure(DescribeFailure(TFailureSide::Turnstile, TFailureStage::Connect, QString(), e), userAction);
        Schedule(m_turnstileRetryDue, SettingsLookMs);
        return false;
    }
}

void TSyncCore::RetryTurnstile()
{
    if (m_userDisconnected || m_turnstile.Connected())
        return;
    const bool settingsFound = m_turnstileParams.isEmpty();
    if (settingsFound) {
        if (!LoadTurnstileSettings(false))
            return;
        m_events.OnLog(QStringLiteral("Arquivo de configurações da catraca encontrado: ") + m_turnstileSettingsFile);
    }
    try {
        m_turnstile.Open(m_turnstileParams);
    } catch (const std::exception &e) {
        ReportFailure(Describe(TFailureSide::Turnstile, TFailureStage::Connect, e));
        Schedule(m_turnstileRetryDue, RetryDelayAfter(e, m_turnstilePolicy));
        return;
    }
    m_turnstilePolicy.Reset();
    // A first connection is logged once its reset ran ("Conectado à catraca."),
    // also when earlier attempts failed: nothing was established to restore.
    if (!settingsFound && !m_resetOwed)
        m_events.OnLog(QStringLiteral("Conexão com a catraca restabelecida."));
    // The list is kept and no reset runs: what the server holds is still
    // valid, unless it was restarted (seen at the next cycle).
    PublishConnected(true);
    SetTray(TSyncTrayState::Waiting);
    CycleNow();
}

void TSyncCore::RewriteAll()
{
    for (int i = 0; i < m_sincro.Comandas.Count(); ++i)
        m_sincro.Comandas.At(i).Nova = true;
}

bool TSyncCore::TurnstileRestarted()
{
    if (m_turnstile.ServerRestarts() == m_seenRestarts)
        return false;
    m_seenRestarts = m_turnstile.ServerRestarts();
    m_events.OnLog(QStringLiteral("O servidor da catraca foi reiniciado: as comandas abertas serão gravadas de novo."));
    RewriteAll();
    return true;
}

void TSyncCore::PublishConnected(bool connected)
{
    // Unchanged is not published: a failed connect leaves the buttons as
    // they were.
    if (connected == m_publishedConnected)
        return;
    m_publishedConnected = connected;
    m_events.OnTurnstileConnected(connected);
}

void TSyncCore::PublishSession(bool active)
{
    if (active == m_sessionActive)
        return;
    m_sessionActive = active;
    m_events.OnSessionActive(active);
}

void TSyncCore::TurnstileLost(const QString &message, bool userAction)
{
    m_turnstile.Close();
    PublishConnected(false);
    m_events.OnStatus(StatusTurnstileLost(), StatusColorFailed);
    SetTray(TSyncTrayState::Failing);
    ReportFailure(message, userAction);
    if (!m_userDisconnected && m_turnstileRetryDue < 0)
        Schedule(m_turnstileRetryDue, m_turnstilePolicy.NextDelayMs());
}

void TSyncCore::DisconnectTurnstile()
{
    m_userDisconnected = true;
    m_turnstileRetryDue = -1;
    m_turnstilePolicy.Reset();
    m_resetOwed = false;
    m_turnstile.Close();
    m_events.OnLog(QStringLiteral("Desconectado da catraca pelo usuário."));
    PublishConnected(false);
    PublishSession(false);
    EndFailure(false);
    SetTray(TSyncTrayState::Disconnected);
}

void TSyncCore::KeepTurnstileAlive()
{
    try {
        m_turnstile.CheckAlive();
        return;
    } catch (const std::exception &) {
        // A server that closed an idle connection is not a lost server.
    }
    try {
        m_turnstile.Reconnect();
    } catch (const std::exception &e) {
        TurnstileLost(Describe(TFailureSide::Turnstile, TFailureStage::Connect, e));
    }
}

// --------------------------------------------------------------- the cycle

void TSyncCore::KeepErpAlive()
{
    if (!m_erp.Attached()) {
        if (m_erpRetryDue < 0)
            AttachErp();
        return;
    }
    try {
        m_erp.CheckAlive();
    } catch (const std::exception &e) {
        if (!m_erp.Attached())
            ErpLost(Describe(TFailureSide::Erp, TFailureStage::Read, e));
    }
}

void TSyncCore::Tick()
{
    // While the turnstile is away the ERP is still watched, so its own loss
    // is known and retried meanwhile, not only after the turnstile is back.
    if (!m_turnstile.Connected()) {
        if (m_sessionActive)
            KeepErpAlive();
        return;
    }
    // A lost ERP was reported when it was lost and its re-attach is
    // scheduled; meanwhile nothing is written, not even an owed reset.
    if (!m_erp.Attached()) {
        // However the attachment went, its re-attach is never left unplanned.
        if (m_erpRetryDue < 0)
            AttachErp();
        KeepTurnstileAlive();
        return;
    }
    TurnstileRestarted();
    const qint64 started = m_clock.NowMs();
    TView view(m_events);
    const CycleOutcome outcome = m_sincro.TMSincroTimer(m_turnstile, m_erp, view, m_resetOwed);
    if (outcome.resetDone) {
        m_resetOwed = false;
        m_events.OnLog(QStringLiteral("Conectado à catraca."));
    }
    // A restart met by one of this cycle's reconnections may have taken the
    // rows written before it: not synchronised until the next cycle, at once,
    // has written them again.
    if (TurnstileRestarted() && outcome.Synchronised()) {
        m_tickDue = m_clock.NowMs();
        return;
    }
    HandleOutcome(outcome, m_clock.NowMs() - started);
}

void TSyncCore::AdaptErpLimit(const CycleOutcome &outcome, qint64 cycleMs)
{
    std::chrono::milliseconds limit = m_erpLimit;
    if (outcome.side == CycleOutcome::Erp && outcome.timedOut)
        limit = std::min(m_erpLimit * 2, MaxErpLimit);
    else if (outcome.kind == CycleOutcome::Done)
        // Twice what a good cycle took: a slow ERP keeps room, a fast one
        // gets its silent peer noticed soon again.
        limit = std::clamp(std::chrono::milliseconds(2 * cycleMs), m_erpBaseLimit, MaxErpLimit);
    if (limit != m_erpLimit) {
        m_erpLimit = limit;
        m_erp.SetCallLimit(limit);
    }
}

void TSyncCore::LogOncePerEpisode(const QStringList &now, QSet<QString> &logged, const QString &prefix)
{
    QSet<QString> current;
    for (const QString &item : now) {
        if (!logged.contains(item))
            m_events.OnLog(prefix + item);
        current.insert(item);
    }
    logged = current;
}

void TSyncCore::HandleOutcome(const CycleOutcome &outcome, qint64 cycleMs)
{
    if (outcome.kind == CycleOutcome::Skipped)
        return;
    AdaptErpLimit(outcome, cycleMs);
    m_events.OnOpenTabs(m_sincro.Abertas);
    for (const QString &line : outcome.writes)
        m_events.OnLog(line);
    QStringList skipped;
    for (const QString &value : outcome.skippedRows)
        skipped << (value == QLatin1String("NULL")
                        ? QStringLiteral("a comanda não tem número (COM_NUMERO vazio).")
                        : QStringLiteral("o número %1 (COM_NUMERO) não cabe na catraca.").arg(value));
    LogOncePerEpisode(skipped, m_skippedLogged, QStringLiteral("Linha de COMANDAS ignorada: "));
    QStringList rejected;
    for (const TRejectedWrite &r : outcome.rejected)
        rejected << QStringLiteral("comanda %1 (%2): %3")
                        .arg(r.numero)
                        .arg(r.flag == 0 ? QStringLiteral("aberta") : QStringLiteral("fechada"), r.error);
    LogOncePerEpisode(rejected, m_rejectedLogged, QStringLiteral("Gravação recusada pela catraca: "));

    if (outcome.Synchronised()) {
        EndFailure(true);
        SetTray(TSyncTrayState::Synchronised);
        m_events.OnCycleEnded(true);
        return;
    }
    if (outcome.side == CycleOutcome::Erp) {
        const QString message = Describe(TFailureSide::Erp, TFailureStage::Read, outcome.exception, outcome.error);
        if (!m_erp.Attached()) {
            ErpLost(message);
        } else {
            SetTray(TSyncTrayState::Failing);
            ReportFailure(message);
        }
    } else if (outcome.turnstileClosed) {
        TurnstileLost(Describe(TFailureSide::Turnstile, TFailureStage::Write, outcome.exception, outcome.error));
    } else if (outcome.exception || outcome.rejected.isEmpty()) {
        SetTray(TSyncTrayState::Failing);
        ReportFailure(Describe(TFailureSide::Turnstile, TFailureStage::Write, outcome.exception, outcome.error));
    } else {
        const TRejectedWrite &first = outcome.rejected.first();
        SetTray(TSyncTrayState::Failing);
        // Which tabs were refused is in the log, one line each.
        ReportFailure(Describe(TFailureSide::Turnstile, TFailureStage::Write, first.exception, first.error));
    }
    m_events.OnCycleEnded(false);
}

void TSyncCore::ReportFailure(const QString &message, bool userAction)
{
    // A failure that repeats every cycle is written once, not every 2 s.
    if (message != m_lastFailureLogged) {
        m_events.OnLog(QStringLiteral("Falha na sincronização: ") + message);
        m_events.OnLastError(message);
    }
    m_lastFailureLogged = message;
    if (userAction || !m_failing)
        m_events.OnFailure(message, userAction);
    m_failing = true;
}

void TSyncCore::EndFailure(bool logRecovery)
{
    if (m_failing) {
        if (logRecovery)
            m_events.OnLog(QStringLiteral("Sincronização restabelecida."));
        m_events.OnFailureEnded();
    }
    m_failing = false;
    m_lastFailureLogged.clear();
}

void TSyncCore::Stop()
{
    m_started = false;
    m_tickDue = m_turnstileRetryDue = m_erpRetryDue = -1;
    m_turnstile.Close();
    m_erp.Detach();
}
