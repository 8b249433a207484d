// The main window's start-up sequence and its synchronisation: the cycle on
// every tick, the recovery of lost connections, and what the tray icon and
// the log say about it.
#include "app/app_artwork.h"
#include "app/app_env.h"
#include "app/form_principal.h"
#include "app/product_detection.h"
#include "erp/kr_database.h"
#include "erp/kr_revenda.h"
#include "erp/open_tabs_source.h"
#include "sync/event_log.h"
#include "sync/turnstile_link.h"
#include "system/wide_text.h"
#include "uikit/kr_guard.h"
#include "uikit/kr_message.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

namespace {

class TWindowCycleView : public ICycleView
{
public:
    explicit TWindowCycleView(TFrmPrincipal &form) : m_form(form) {}
    void ShowStatus(const QString &caption, quint32 colorRef) override
    {
        SetFontColor(m_form.LblStatus, colorRef);
        m_form.LblStatus->setText(caption);
    }
    void ShowCounters(const QString &caption) override
    {
        // A label shows a lone carriage return as a blank: make it a line break.
        m_form.LblMemoria->setText(QString(caption).replace(QChar(13), QChar(10)));
    }
    void LetEventsRun() override
    {
        QCoreApplication::processEvents();
        m_form.repaint();
    }

private:
    TFrmPrincipal &m_form;
};

QString StatusTurnstileLost()
{
    return QStringLiteral("SEM CONEXÃO COM A CATRACA");
}

bool FieldFilled(const QLineEdit *field)
{
    return !platform::TrimControl(field->text().toStdWString()).empty();
}

} // namespace

QString TFrmPrincipal::DetectaProduto()
{
    const TProdutoDetectado found = DetectProduct(ExecutableFolder());
    const QString name = RevendaCaptionPanel(found.Name);
    LblConectado->setText(QStringLiteral("Integrado com: ") + name);
    return found.Path;
}

void TFrmPrincipal::FormCreate()
{
    m_hideSwitch = IsHideSwitch(FirstArgument());
    Guarded([this] {
        DBManager.Database = &BDA;
        DBManager.Transaction = &TRA;
        DBManager.DefaultDatabaseFile = QStringLiteral("DBEMPRESA.FDB");
        const QString settings = DetectaProduto();
        DBManager.SettingsFile = settings;
        if (settings.isEmpty() || !QFileInfo(settings).isFile()) {
            LogEvent(QStringLiteral("Nenhum arquivo de configurações do sistema Norva ao lado do programa."));
            ShowErrorMessage(QStringLiteral("Erro"),
                             QStringLiteral("Coloque este programa na pasta de instalação do seu sistema Norva para "
                                            "que ele possa conectar-se a base de dados!"));
            // Nothing more to do without the ERP: no wait, no connection.
            RequestApplicationEnd();
            return;
        }
        if (m_hideSwitch) {
            // Started with the system: give its database server time to come up.
            const int wait = StartupWaitMs();
            LogEvent(QStringLiteral("Aguardando %1 ms pelo servidor de banco de dados.").arg(wait));
            QThread::msleep(ulong(wait));
        }
        if (!DBManager.Connect(false)) {
            LogEvent(QStringLiteral("Não foi possível conectar ao banco de dados do ERP."));
            ShowErrorMessage(QStringLiteral("Erro"), QStringLiteral("Não foi possível conectar ao banco de dados !"));
            return;
        }
        LogEvent(QStringLiteral("Conectado ao banco de dados do ERP: ") + BDA.DatabaseName);
        CarregaConfiguracao();
        SetAppMinimizeAttached(true);
        AtualizaBotoes();
        if (m_hideSwitch && FieldFilled(EdtSRV) && FieldFilled(EdtBDA) && FieldFilled(EdtUSU) && FieldFilled(EdtSEN))
            BtnConectarClick();
    });
}

void TFrmPrincipal::FormDestroy()
{
    Guarded([this] {
        SetAppMinimizeAttached(false);
        Sincro.Comandas.Clear();
        m_reconnectTimer->stop();
    });
}

void TFrmPrincipal::TMSincroTimer()
{
    Guarded([this] {
        if (!MySQL.Connected() || Sincro.Sincronizando)
            return;
        ReopenErpIfNeeded();
        TFbOpenTabsSource erp([](const QString &sql) { return DBManager.CreateQuery(sql, true); });
        TMySqlTurnstileLink turnstile(MySQL);
        TWindowCycleView view(*this);
        HandleCycleOutcome(Sincro.TMSincroTimer(turnstile, erp, view));
    });
}

void TFrmPrincipal::ReopenErpIfNeeded()
{
    // Queries attach again by themselves after a server restart; this is for
    // an attachment that is gone altogether. Tried at most every 10 s, since
    // an unreachable host blocks the window until the client gives up.
    if (BDA.Connected() || DBManager.SettingsFile.isEmpty())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - m_lastErpReopen < 10000)
        return;
    m_lastErpReopen = now;
    QString error;
    if (DBManager.ReopenFromSettings(&error))
        LogEvent(QStringLiteral("Conexão com o banco de dados do ERP restabelecida."));
    else
        LogEvent(QStringLiteral("Banco de dados do ERP indisponível: ") + error);
}

void TFrmPrincipal::HandleCycleOutcome(const CycleOutcome &outcome)
{
    if (outcome.kind == CycleOutcome::Skipped)
        return;
    // "Desconectar F3" pressed while the cycle let window messages run: the
    // writes reopened the connection, but the user asked for it closed.
    if (m_userDisconnected && MySQL.Connected()) {
        MySQL.CloseResultSets();
        MySQL.Close();
        AtualizaBotoes();
    }
    for (const QString &line : outcome.writes)
        LogEvent(line);
    if (outcome.kind == CycleOutcome::Done) {
        if (m_cycleFailing)
            LogEvent(QStringLiteral("Sincronização restabelecida."));
        m_cycleFailing = false;
        m_failureShown = false;
        SetTrayState(TrayState::Synchronised);
        return;
    }

    LogEvent(QStringLiteral("Falha na sincronização: ") + outcome.error);
    m_cycleFailing = true;
    if (outcome.turnstileClosed) {
        AtualizaBotoes();
        SetFontColor(LblStatus, StatusColorFailed);
        LblStatus->setText(StatusTurnstileLost());
        SetTrayState(TrayState::Disconnected);
        if (!m_turnstileLost && TI)
            TI->showMessage(QStringLiteral("Catraca Kolde"), QStringLiteral("Conexão com a catraca perdida."),
                            QSystemTrayIcon::Warning);
        m_turnstileLost = true;
        if (!m_userDisconnected && !m_reconnectTimer->isActive())
            m_reconnectTimer->start(m_reconnectPolicy.NextDelayMs());
    } else {
        SetTrayState(TrayState::Failing);
    }
    ShowSyncFailure(outcome.error);
}

void TFrmPrincipal::ShowSyncFailure(const QString &message)
{
    if (m_failureShown || m_showingFailure)
        return;
    m_failureShown = true;
    m_showingFailure = true;
    // The box runs its own event loop: ticks go on underneath it, and their
    // failures are logged without stacking more boxes.
    ShowTopLevelError(message);
    m_showingFailure = false;
}

void TFrmPrincipal::OnTurnstileConnected()
{
    m_reconnectTimer->stop();
    m_reconnectPolicy.Reset();
    LogEvent(QStringLiteral("Conectado à catraca."));
    if (m_turnstileLost && TI)
        TI->showMessage(QStringLiteral("Catraca Kolde"), QStringLiteral("Conexão com a catraca restabelecida."),
                        QSystemTrayIcon::Information);
    m_turnstileLost = false;
    m_failureShown = false;
    SetTrayState(TrayState::Waiting);
}

void TFrmPrincipal::OnTurnstileConnectFailed(const QString &message)
{
    LogEvent(QStringLiteral("Falha ao conectar à catraca: ") + message);
    SetFontColor(LblStatus, StatusColorFailed);
    LblStatus->setText(StatusTurnstileLost());
    SetTrayState(TrayState::Disconnected);
    if (!m_turnstileLost && TI && m_hideSwitch)
        TI->showMessage(QStringLiteral("Catraca Kolde"), QStringLiteral("Sem conexão com a catraca."),
                        QSystemTrayIcon::Warning);
    m_turnstileLost = true;
    if (!m_userDisconnected)
        m_reconnectTimer->start(m_reconnectPolicy.NextDelayMs());
}

bool TFrmPrincipal::ReconnectPending() const
{
    return m_reconnectTimer->isActive();
}

void TFrmPrincipal::ReconnectNow()
{
    m_reconnectTimer->stop();
    if (m_userDisconnected || MySQL.Connected())
        return;
    try {
        ConnectTurnstile();
    } catch (...) {
        // Already logged, and the next try scheduled, by the failure signal;
        // a box every 30 s for a server that stays down would help no one.
    }
}

void TFrmPrincipal::SetTrayState(TrayState state)
{
    if (state == m_trayState || !TI)
        return;
    m_trayState = state;
    switch (state) {
    case TrayState::Waiting:
        TI->setIcon(TrayArtwork(TrayBadge::None));
        TI->setToolTip(QStringLiteral("Catraca Kolde"));
        break;
    case TrayState::Synchronised:
        TI->setIcon(TrayArtwork(TrayBadge::Green));
        TI->setToolTip(QStringLiteral("Catraca Kolde - sincronizado"));
        break;
    case TrayState::Failing:
        TI->setIcon(TrayArtwork(TrayBadge::Red));
        TI->setToolTip(QStringLiteral("Catraca Kolde - falha na sincronização"));
        break;
    case TrayState::Disconnected:
        TI->setIcon(TrayArtwork(TrayBadge::Grey));
        TI->setToolTip(QStringLiteral("Catraca Kolde - sem conexão com a catraca"));
        break;
    }
}
