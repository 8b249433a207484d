#pragma once
// The modal dialog in which the user says where the ERP's database is: server
// address, database path and, in the collapsible advanced area, user name,
// password and port. It can try the connection, ping the server and start the
// maintenance tool. It reads the settings file each time it is shown and
// never writes it; the manager saves what the user entered after OK.
#include "erp/kr_database.h"
#include "erp/pingsend.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;
class TKRButton;
class TKRPanel;
class TKRTheme;

class TFrmKRDBConnect : public QDialog, public IConnectPrompt
{
    Q_OBJECT
public:
    // Design sizes: the client area, and the outer height with the advanced
    // area open. Collapsed, the outer height is the top of PNAV plus the
    // button bar plus CollapsedExtra.
    static constexpr int DesignClientWidth = 508;
    static constexpr int DesignClientHeight = 505;
    static constexpr int ExpandedOuterHeight = 534;
    static constexpr int CollapsedExtra = 75;

    explicit TFrmKRDBConnect(QWidget *parent = nullptr);
    ~TFrmKRDBConnect() override;

    bool Execute() override;
    TConnectEntries Entries() const override;

    // Fills the fields, applies the enabling rules and collapses the advanced
    // area; Execute runs it before the dialog is shown, so a damaged stored
    // value never reaches the event loop as an exception.
    void FormShow();
    void FormKeyDown(int key);
    // The connection string the test uses, as the connection builds it:
    // host ":" path, or host "/" port ":" path. A blank host becomes
    // 127.0.0.1 in the field itself.
    QString Caminho();
    void Avancado(bool expanded);
    void BtnTestarClick();
    void BtnConectarClick();
    void BtnPingClick();
    void BtnCancelarClick();
    void BtnToolsClick();
    void SpeedButton1Click();
    void CkConfigClick();

    // Height of the window with its frame. Where the platform draws no frame
    // (or has not yet), the frame of the design is assumed.
    int OuterHeight() const;
    int NonClientHeight() const;

    // How long the ping waits for an answer; tests shorten it.
    int PingTimeout = TPINGSend::DefaultTimeout;

    QWidget *PnMestre = nullptr;
    TKRPanel *KRPanel1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *EdtIP = nullptr;
    QLabel *Label5 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *EdtLocal = nullptr;
    QLabel *Label4 = nullptr;
    QWidget *PNAV = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QCheckBox *CkConfig = nullptr;
    QLabel *LblUsuario = nullptr;
    QLineEdit *EdtUsuario = nullptr;
    QLabel *LblSenha = nullptr;
    QLineEdit *EdtSenha = nullptr;
    QLabel *LblPorta = nullptr;
    QLineEdit *EdtPorta = nullptr;
    QLabel *LblAV = nullptr;
    QWidget *Panel2 = nullptr;
    TKRButton *BtnTestar = nullptr;
    TKRButton *BtnConectar = nullptr;
    TKRButton *BtnTools = nullptr;
    TKRButton *BtnPing = nullptr;
    TKRButton *BtnCancelar = nullptr;
    TKRTheme *Tema = nullptr;

    // The small pictures on the five buttons, drawn here rather than shipped.
    enum GlyphKind { GlyphTestar, GlyphConectar, GlyphTools, GlyphPing, GlyphCancelar };
    static QImage ButtonGlyph(GlyphKind kind);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void LayoutPanels();
    void SetOuterHeight(int height);
    // The work area of the dialog's screen (the screen less the task bar).
    QRect WorkArea() const;
    // Pixels the open layout gives up to fit a work area lower than the
    // design (1366 x 768 at 150 %); 0 at design size.
    int m_squeeze = 0;
};

// The instance while the manager's Connect runs; null otherwise.
extern TFrmKRDBConnect *FrmKRDBConnect;

// Lets the ERP database manager create this dialog; called by the program
// entry once the application object exists.
void InstallConnectPrompt();
