#pragma once
// The program's one window: the turnstile settings, the cycle's status, the
// connect/disconnect/close buttons, the synchronisation timer and the
// notification-area icon.
#include "erp/fb_client.h"
#include "sync/mysql_connection.h"
#include "sync/reconciliation.h"
#include "sync/reconnect_policy.h"

#include <QColor>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

// Colours kept in the 0x00BBGGRR form (red in the low byte).
inline QColor ColorFromBgr(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}
// Text colour of a label or other control, given as 0x00BBGGRR.
void SetFontColor(QWidget *control, quint32 bgr);

class TFrmPrincipal : public QWidget
{
    Q_OBJECT
public:
    // runFormCreate false leaves out the start-up sequence (window tests).
    explicit TFrmPrincipal(QWidget *parent = nullptr, bool runFormCreate = true);
    ~TFrmPrincipal() override;

    // Shows the window at program start, unless the first argument is the
    // hide switch; then only the tray icon remains, or, on a desktop without
    // a notification area, the window starts minimised so it stays reachable.
    void ShowAtStart();

    // Start-up and shutdown sequences.
    void FormCreate();
    void FormDestroy();
    // The detected product's settings file (empty when none); sets LblConectado.
    QString DetectaProduto();

    void FormKeyDown(int key);
    void BtnConectarClick();
    void BtnDesconectarClick();
    void BtnFecharClick();
    void AtualizaBotoes();
    void TMSincroTimer();

    // The turnstile settings: dbxconnections.ini beside the executable.
    static QString ArquivoConexao();
    // Fills the five fields and the start-up check box from their sources.
    void CarregaConfiguracao();
    // Writes the five fields to the settings file; does nothing until
    // CarregaConfiguracao has filled them, so fields left empty by a failed
    // start-up never overwrite the stored settings.
    void SalvaConfiguracao();
    bool ConfiguracaoCarregada() const { return m_configuracaoCarregada; }
    void EdtSRVExit();
    void EdtBDAExit();
    void EdtUSUExit();
    void EdtSENExit();
    void CkIniciaClick();
    void AppMinimize();
    void TIDblClick();

    // Minimising hides to the tray only while the handler is attached.
    void SetAppMinimizeAttached(bool attached) { m_appMinimizeAttached = attached; }
    bool AppMinimizeAttached() const { return m_appMinimizeAttached; }

    // Whether the desktop offers a notification area; tests force an answer.
    static bool TrayAvailable();
    static void SetTrayAvailableForTesting(std::optional<bool> available);

    QLabel *PnTitulo = nullptr;
    QLabel *LblConectado = nullptr;
    QLineEdit *EdtSRV = nullptr;
    QLineEdit *EdtPOR = nullptr;
    QLineEdit *EdtBDA = nullptr;
    QLineEdit *EdtUSU = nullptr;
    QLineEdit *EdtSEN = nullptr;
    QCheckBox *CkInicia = nullptr;
    QLabel *LblStatus = nullptr;
    QLabel *LblObservacao = nullptr;
    QLabel *LblObservacoes = nullptr;
    QLabel *LblMemoria = nullptr;
    QPushButton *BtnConectar = nullptr;
    QPushButton *BtnDesconectar = nullptr;
    QPushButton *BtnFechar = nullptr;
    QTimer *TMSincro = nullptr;
    QSystemTrayIcon *TI = nullptr;

    // The ERP connection and its transaction, handed to DBManager at start-up.
    TFbDatabase BDA;
    TFbTransaction TRA;

    // The turnstile connection and the reconciliation state; Sincro.Enviadas
    // is the window's count of tab writes since the last connect.
    TMySqlConnection MySQL;
    TReconciliador Sincro;

    // What the notification-area icon tells at a glance.
    enum class TrayState { Waiting, Synchronised, Failing, Disconnected };
    TrayState CurrentTrayState() const { return m_trayState; }
    // A reconnection of the turnstile is pending (after a lost connection).
    bool ReconnectPending() const;
    // Runs the pending reconnection at once (tests; the timer does it otherwise).
    void ReconnectNow();

signals:
    // The window was closed: the program ends.
    void Closed();
    // A connect action opened the turnstile connection (even when the reset
    // statement failed afterwards on the open connection).
    void TurnstileConnected();
    // A connect action ended without an open connection; message is the
    // error already shown to the user.
    void TurnstileConnectFailed(const QString &message);
    // The user closed the turnstile connection.
    void TurnstileDisconnected();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateControls();
    void CenterOnScreen();
    // Moves the focus to the connect or disconnect button; false when the
    // button is disabled and its action must not run.
    bool FocusActionButton(QPushButton *button);

    // The connect action's work after the field checks: also what the
    // automatic reconnection runs.
    void ConnectTurnstile();
    void OnTurnstileConnected();
    void OnTurnstileConnectFailed(const QString &message);
    void HandleCycleOutcome(const struct CycleOutcome &outcome);
    // Shows a failure of the running synchronisation once: repeated failures
    // of the same episode, and failures while a box is open, are only logged.
    void ShowSyncFailure(const QString &message);
    void SetTrayState(TrayState state);
    void ReopenErpIfNeeded();

    bool m_appMinimizeAttached = false;
    bool m_configuracaoCarregada = false;
    bool m_hideSwitch = false;
    bool m_userDisconnected = false;
    bool m_turnstileLost = false;
    bool m_cycleFailing = false;
    bool m_failureShown = false;
    bool m_showingFailure = false;
    qint64 m_lastErpReopen = 0;
    TrayState m_trayState = TrayState::Waiting;
    TReconnectPolicy m_reconnectPolicy;
    QTimer *m_reconnectTimer = nullptr;
};
