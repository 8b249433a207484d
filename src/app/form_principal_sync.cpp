// The main window's start-up sequence and what it shows of the
// synchronisation engine: status, counters, buttons, tray icon, failures.
#include "app/form_principal.h"

#include "app/app_artwork.h"
#include "app/client_ports.h"
#include "app/product_detection.h"
#include "app/session_view.h"
#include "app/tray_tooltip.h"
#include "base/kr_guard.h"
#include "base/wide_text.h"
#include "engine/event_log.h"
#include "erp/kr_database.h"
#include "erp/kr_revenda.h"
#include "system/app_env.h"
#include "system/kr_message.h"
#include "uikit/kr_error_box.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>

namespace {

bool FieldFilled(const QLineEdit *field)
{
    return !platform::TrimControl(field->text().toStdWString()).empty();
}

// The start-up wait lets the event loop run: a second start is answered and
// a termination request is heard while the database server comes up; an end
// asked for meanwhile ("Sair", the close box) ends the wait.
void WaitWithEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    OnApplicationEndRequested(&loop, [&loop] { loop.quit(); });
    if (!ApplicationEndRequested())
        loop.exec();
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
        DBManager.DescribeOpenFailure = ErpOpenFailureText;
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
            WaitWithEvents(wait);
            if (ApplicationEndRequested())
                return;
        }
        QString database;
        QStringList params;
        bool erpReached = false;
        if (m_hideSwitch && DBManager.CheckSettingsFile(DBManager.EffectiveSettingsPath())) {
            // Nobody may be at the screen: no prompt and no box holds the
            // start up. The engine attaches, and keeps trying, by itself.
            const TErpSettings erp = DBManager.SettingsForEngine();
            database = erp.DatabaseName;
            params = erp.Params;
        } else {
            if (!DBManager.Connect(false)) {
                // The prompt's Cancel, or an end asked for while it or its
                // boxes showed: the program ends, with no box on the way out.
                if (ApplicationEndRequested())
                    return;
                LogEvent(QStringLiteral("Não foi possível conectar ao banco de dados do ERP."));
                ShowErrorMessage(QStringLiteral("Erro"), QStringLiteral("Não foi possível conectar ao banco de dados !"));
                return;
            }
            // A database handle lives on one thread: the engine attaches anew
            // on its own with what worked here.
            database = BDA.DatabaseName;
            params = BDA.Params;
            BDA.Close();
            erpReached = true;
        }
        m_erpReached = erpReached;
        // A re-attach reads the settings file again: a file mended by hand
        // or by the ERP is used without a restart.
        Sync.SetErpSettingsSource([] { return DBManager.SettingsForEngine(); });
        Sync.Start(database, params);
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
        CloseFailureBox();
    });
}

void TFrmPrincipal::ConnectEngine()
{
    TSyncEngine *engine = Sync.Engine();
    connect(engine, &TSyncEngine::StatusChanged, this, [this](const QString &caption, quint32 colorRef) {
        SetFontColor(LblStatus, colorRef);
        LblStatus->setText(caption);
    });
    connect(engine, &TSyncEngine::CountersChanged, this, [this](const QString &caption) {
        // A label shows a lone carriage return as a blank: make it a line break.
        LblMemoria->setText(QString(caption).replace(QChar(13), QChar(10)));
    });
    connect(engine, &TSyncEngine::TrayStateChanged, this, &TFrmPrincipal::SetTrayState);
    connect(engine, &TSyncEngine::TurnstileConnectedChanged, this, &TFrmPrincipal::OnTurnstileConnectedChanged);
    connect(engine, &TSyncEngine::ErpAvailableChanged, this, &TFrmPrincipal::OnErpAvailableChanged);
    connect(engine, &TSyncEngine::Failure, this, &TFrmPrincipal::ShowFailure);
    connect(engine, &TSyncEngine::FailureEnded, this, &TFrmPrincipal::CloseFailureBox);
    connect(engine, &TSyncEngine::FailureEnded, this, [this] {
        m_lastError.clear();
        UpdateToolTip();
    });
    connect(engine, &TSyncEngine::LastErrorChanged, this, [this](const QString &message) {
        m_lastError = message;
        UpdateToolTip();
        FlushBalloons(message);
        // The box of the episode tells what fails now, as the tooltip does.
        if (m_failureBox && m_failureBox->text() != message) {
            m_failureBox->setText(message);
            PlaceFailureBox(*m_failureBox);
        }
    });
    // Engines that start a session by themselves (the automatic connect)
    // say so; otherwise the window's own commands tell it.
    connect(engine, &TSyncEngine::SessionActiveChanged, this, &TFrmPrincipal::OnSessionActiveChanged);
    connect(engine, &TSyncEngine::OpenTabsCounted, this, [this](int open) {
        m_openTabs = open;
        UpdateToolTip();
    });
    connect(engine, &TSyncEngine::CycleEnded, this, [this](bool synchronised) {
        if (!synchronised)
            return;
        // Taken on arrival: a queued signal is late by far less than the
        // seconds the tooltip shows.
        m_lastSynchronised = QDateTime::currentDateTime();
        UpdateToolTip();
    });
}

void TFrmPrincipal::OnTurnstileConnectedChanged(bool connected)
{
    const bool was = m_turnstileConnected;
    m_turnstileConnected = connected;
    AtualizaBotoes();
    if (connected)
        MostraConfiguracaoGravada();
    if (!m_sessionActive) {
        // The user's disconnect, confirmed: no cycle can publish after it.
        if (!connected && was)
            ShowDisconnected();
        return;
    }
    if (!connected && was && !m_turnstileLost) {
        BalloonWithFailure(QStringLiteral("Conexão com a catraca perdida."));
        m_turnstileLost = true;
    } else if (connected && m_turnstileLost) {
        // A start with the system that failed at once had nothing to lose.
        Balloon(m_turnstileReached ? QStringLiteral("Conexão com a catraca restabelecida.")
                                   : QStringLiteral("Conectado à catraca."),
                QString(), false);
        m_turnstileLost = false;
    }
    m_turnstileReached = m_turnstileReached || connected;
}

void TFrmPrincipal::OnSessionActiveChanged(bool active)
{
    const bool was = m_sessionActive;
    m_sessionActive = active;
    AtualizaBotoes();
    if (was && !active && !m_turnstileConnected)
        ShowDisconnected();
}

void TFrmPrincipal::OnErpAvailableChanged(bool available)
{
    // A start with the system may never have reached the ERP: nothing was
    // lost then, and nothing comes back.
    if (!available && !m_erpLost)
        BalloonWithFailure(m_erpReached ? QStringLiteral("Conexão com o banco de dados do ERP perdida.")
                                        : QStringLiteral("Sem conexão com o banco de dados do ERP."));
    else if (available && m_erpLost)
        Balloon(m_erpReached ? QStringLiteral("Conexão com o banco de dados do ERP restabelecida.")
                             : QStringLiteral("Conectado ao banco de dados do ERP."),
                QString(), false);
    m_erpLost = !available;
    m_erpReached = m_erpReached || available;
}

void TFrmPrincipal::ShowDisconnected()
{
    SetFontColor(LblStatus, StatusColorDisconnected);
    LblStatus->setText(StatusDisconnected());
}

void TFrmPrincipal::Balloon(const QString &text, const QString &detail, bool warning)
{
    if (!TI)
        return;
    TI->showMessage(QStringLiteral("Catraca Kolde"), BalloonText(text, detail),
                    warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
    emit BalloonShown(text, detail);
}

void TFrmPrincipal::BalloonWithFailure(const QString &text)
{
    m_pendingBalloons << text;
    // Should the message not come (the same failure as before), the balloon
    // goes out with the last one known.
    QTimer::singleShot(1000, this, [this] { FlushBalloons(m_lastError); });
}

void TFrmPrincipal::FlushBalloons(const QString &detail)
{
    const QStringList pending = std::exchange(m_pendingBalloons, {});
    for (const QString &text : pending)
        Balloon(text, detail, true);
}

void TFrmPrincipal::ShowFailure(const QString &message, bool userAction)
{
    FlushBalloons(message);
    if (m_failureBox) {
        if (userAction) {
            m_failureBox->setText(message);
            PlaceFailureBox(*m_failureBox);
            m_failureBox->raise();
        }
        return;
    }
    // A start with the system whose first connect failed: say so once in the
    // tray too, since nobody may be looking at the screen.
    if (userAction && m_hideSwitch && !m_turnstileConnected && !m_turnstileLost) {
        Balloon(QStringLiteral("Sem conexão com a catraca."), message, true);
        m_turnstileLost = true;
    }
    m_failureBox = OpenErrorBox(message, [self = QPointer<TFrmPrincipal>(this)](QWidget &box) {
        if (self)
            self->PlaceFailureBox(box);
    });
}

void TFrmPrincipal::CloseFailureBox()
{
    if (m_failureBox)
        m_failureBox->close();
}

void TFrmPrincipal::SetTrayState(TSyncTrayState state)
{
    m_publishedTray = state;
    AtualizaBotoes();
}

void TFrmPrincipal::ShowTrayIcon(TSyncTrayState state)
{
    if (state == m_trayState || !TI)
        return;
    m_trayState = state;
    switch (state) {
    case TSyncTrayState::Waiting:
        TI->setIcon(TrayArtwork(TrayBadge::None));
        break;
    case TSyncTrayState::Synchronised:
        TI->setIcon(TrayArtwork(TrayBadge::Green));
        break;
    case TSyncTrayState::Failing:
        TI->setIcon(TrayArtwork(TrayBadge::Red));
        break;
    case TSyncTrayState::Disconnected:
        TI->setIcon(TrayArtwork(TrayBadge::Grey));
        break;
    }
    UpdateToolTip();
}

void TFrmPrincipal::UpdateToolTip()
{
    if (!TI)
        return;
    const QString text =
        TrayTooltip({m_trayState, m_lastSynchronised, m_openTabs, m_lastError}, QDateTime::currentDateTime());
    // Rewriting an unchanged tooltip makes some tray hosts redraw the icon.
    if (TI->toolTip() != text)
        TI->setToolTip(text);
}
