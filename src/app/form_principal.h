#pragma once
// The program's one window: the turnstile settings, the cycle's status, the
// connect/disconnect/close buttons, the synchronisation timer and the
// notification-area icon.
#include "app/client_ports.h"
#include "engine/sync_engine.h"
#include "erp/fb_client.h"

#include <QColor>
#include <QDateTime>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <optional>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;

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

    // The turnstile settings: dbxconnections.ini beside the executable.
    static QString ArquivoConexao();
    // Fills the five fields and the start-up check box from their sources.
    void CarregaConfiguracao();
    // Writes the five fields to the settings file; does nothing until
    // CarregaConfiguracao has filled them, so fields left empty by a failed
    // start-up never overwrite the stored settings. A change saved while the
    // synchronisation fails is what the failure box asks for: it is used at
    // once, as Conectar F2 would.
    void SalvaConfiguracao();
    bool ConfiguracaoCarregada() const { return m_configuracaoCarregada; }
    // Fields that show the defaults of a missing file take what the file
    // holds once another program wrote it; a field the person is editing
    // keeps what was typed.
    void MostraConfiguracaoGravada();
    void EdtSRVExit();
    void EdtBDAExit();
    void EdtUSUExit();
    void EdtSENExit();
    void CkIniciaClick();
    void AppMinimize();
    void TIDblClick();
    // The tray menu's "Abrir": the window back in front, also when it is
    // only minimised or behind others.
    void AbrirClick();
    // The tray menu's "Abrir registro de eventos": the log file in the
    // system's viewer; an opener that ends with an error is reported.
    void AbrirRegistroClick();
    // "Configurar banco de dados do ERP...": the ERP connection dialog at the
    // user's request; what it saves is used at once.
    void ConfigurarErpClick();

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
    QPushButton *BtnConfigurarErp = nullptr;
    QSystemTrayIcon *TI = nullptr;
    // The icon's menu; Conectar and Desconectar are visible while their
    // buttons are enabled.
    QMenu *TrayMenu = nullptr;
    QAction *ActAbrir = nullptr;
    QAction *ActConectar = nullptr;
    QAction *ActDesconectar = nullptr;
    QAction *ActRegistro = nullptr;
    QAction *ActConfigurarErp = nullptr;
    QAction *ActSair = nullptr;

    // The ERP connection and its transaction, used by DBManager while
    // start-up connects (and asks the user); then closed, and only their
    // settings handed to the engine, which attaches on its own thread.
    TFbDatabase BDA;
    TFbTransaction TRA;

    // The synchronisation engine on its own thread; the window only sends it
    // commands and shows what it publishes.
    TSyncService Sync{ClientPorts()};

    // The state the icon shows.
    TSyncTrayState CurrentTrayState() const { return m_trayState; }
    // From a connect until the user's disconnect, retries included.
    bool SessionActive() const { return m_sessionActive; }
    // The turnstile connection as the engine last published it.
    bool TurnstileConnected() const { return m_turnstileConnected; }
    // The failure box of the running episode, when one is open.
    QMessageBox *FailureBox() const { return m_failureBox; }

public slots:
    // The engine's word on the session, for a session it started by itself.
    void OnSessionActiveChanged(bool active);

signals:
    // The window was closed: the program ends.
    void Closed();
    // A tray notification was raised: what happened and, for a failure, the
    // failure's message.
    void BalloonShown(const QString &text, const QString &detail);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateControls();
    void CreateTrayIcon();
    void CenterOnScreen();
    // Narrower spacing, for a screen lower than the window (150 % on 1366 x 768).
    void CompactLayout();
    // Moves the focus to the connect or disconnect button; false when the
    // button is disabled and its action must not run.
    bool FocusActionButton(QPushButton *button);

    void ConnectEngine();
    void OnTurnstileConnectedChanged(bool connected);
    void OnErpAvailableChanged(bool available);
    // One box per failure episode, never modal: nothing waits for its OK.
    // The user's own connect is always answered.
    void ShowFailure(const QString &message, bool userAction);
    void CloseFailureBox();
    // Beside the window where the screen has room, never over the fields.
    void PlaceFailureBox(QWidget &box) const;
    void SetTrayState(TSyncTrayState state);
    void ShowTrayIcon(TSyncTrayState state);
    // The status after the user's own disconnect.
    void ShowDisconnected();
    void UpdateToolTip();
    void Balloon(const QString &text, const QString &detail, bool warning);
    // A loss is announced with its failure's message, which the engine
    // publishes right after it.
    void BalloonWithFailure(const QString &text);
    void FlushBalloons(const QString &detail);
    // Hands the ERP settings file, as it now stands, to the engine.
    void UseErpSettings();
    void ShowOpenerFailure(const QString &path, int exitCode);

    bool m_appMinimizeAttached = false;
    bool m_configuracaoCarregada = false;
    bool m_camposDoArquivo = false; // the fields show what the file holds
    bool m_hideSwitch = false;
    bool m_sessionActive = false;
    bool m_erpDialogOpen = false;
    bool m_turnstileConnected = false;
    bool m_turnstileLost = false;
    bool m_turnstileReached = false;
    bool m_erpLost = false;
    bool m_erpReached = false;
    // The user's connect is under way: the save its focus move runs is
    // part of it.
    bool m_connecting = false;
    QPointer<QMessageBox> m_failureBox;
    TSyncTrayState m_trayState = TSyncTrayState::Waiting;
    TSyncTrayState m_publishedTray = TSyncTrayState::Waiting;
    QStringList m_pendingBalloons;
    QDateTime m_lastSynchronised;
    int m_openTabs = -1;
    QString m_lastError;
};
