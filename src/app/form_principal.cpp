#include "app/form_principal.h"

#include "app/app_artwork.h"
#include "app/box_placement.h"
#include "app/session_view.h"
#include "base/kr_guard.h"
#include "base/wide_text.h"
#include "engine/event_log.h"
#include "erp/kr_database.h"
#include "system/app_env.h"
#include "system/kr_message.h"
#include "system/kr_windows.h"
#include "system/launch.h"
#include "turnstile/turnstile_settings.h"
#include "uikit/kr_error_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QPointer>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int ClientWidth = 556;
constexpr int ClientHeight = 575;
// Room for the window's borders besides its title bar, at each edge
// (an estimate of Windows 10's fixed borders with their padding).
constexpr int FrameAllowance = 6;
constexpr quint32 HeaderColor = 2631720; // dark grey
constexpr quint32 NoteColor = 179;       // dark red

std::optional<bool> &trayOverride()
{
    static std::optional<bool> o;
    return o;
}

QFont PixelFont(const QFont &base, const QStringList &families, int pixels, bool bold)
{
    QFont f = base;
    // The first family the machine has wins; a generic sans face otherwise.
    f.setFamilies(families);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QLabel *FieldCaption(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}
} // namespace

void SetFontColor(QWidget *control, quint32 bgr)
{
    QPalette pal = control->palette();
    pal.setColor(QPalette::WindowText, ColorFromBgr(bgr));
    pal.setColor(QPalette::Text, ColorFromBgr(bgr));
    control->setPalette(pal);
}

TFrmPrincipal::TFrmPrincipal(QWidget *parent, bool runFormCreate)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FrmPrincipal"));
    setWindowTitle(QStringLiteral("Integração com Catracas Ovrex/Miravel - v1.4"));
    setWindowIcon(TrayArtwork());
    setFixedSize(ClientWidth, ClientHeight);
    CreateControls();
    CenterOnScreen();

    CreateTrayIcon();

    // The window sees Esc, F2 and F3 before whichever control has the focus.
    qApp->installEventFilter(this);

    BDA.Params = TKRDBManager::DefaultDatabaseParams();
    TRA.SetDefaultDatabase(&BDA);
    TRA.Params = {QStringLiteral("read_committed"), QStringLiteral("rec_version"), QStringLiteral("nowait")};

    ConnectEngine();

    if (runFormCreate)
        FormCreate();
}

TFrmPrincipal::~TFrmPrincipal()
{
    qApp->removeEventFilter(this);
    FormDestroy();
}

void TFrmPrincipal::CreateControls()
{
    // The window was laid out in Tahoma 8 (11 pixels): its texts fit in that
    // face's widths.
    setFont(PixelFont(font(), {QStringLiteral("Tahoma")}, 11, false));
    PnTitulo = new QLabel(QStringLiteral("Integração com Catracas Ovrex/Miravel"), this);
    PnTitulo->setObjectName(QStringLiteral("PnTitulo"));
    PnTitulo->setAlignment(Qt::AlignCenter);
    PnTitulo->setFixedHeight(41);
    PnTitulo->setAutoFillBackground(true);
    PnTitulo->setFont(PixelFont(font(), {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")}, 16, true));
    {
        QPalette pal = PnTitulo->palette();
        pal.setColor(QPalette::Window, ColorFromBgr(HeaderColor));
        pal.setColor(QPalette::WindowText, Qt::white);
        PnTitulo->setPalette(pal);
    }

    LblConectado = new QLabel(QStringLiteral("INTEGRADO COM: NÃO IDENTIFICADO"), this);
    LblConectado->setObjectName(QStringLiteral("LblConectado"));
    LblConectado->setAlignment(Qt::AlignCenter);
    {
        QFont f = LblConectado->font();
        f.setBold(true);
        LblConectado->setFont(f);
    }

    auto makeEdit = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    EdtSRV = makeEdit("EdtSRV");
    EdtPOR = makeEdit("EdtPOR");
    EdtBDA = makeEdit("EdtBDA");
    EdtUSU = makeEdit("EdtUSU");
    EdtSEN = makeEdit("EdtSEN"); // the turnstile password is shown in clear on purpose

    auto *fields = new QGridLayout;
    fields->setObjectName(QStringLiteral("fields"));
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(6);
    fields->setColumnMinimumWidth(0, 110);
    fields->setColumnStretch(1, 1);
    const std::pair<QString, QLineEdit *> rows[] = {
        {QStringLiteral("SERVIDOR:"), EdtSRV},   {QStringLiteral("PORTA:"), EdtPOR},
        {QStringLiteral("BASE DADOS:"), EdtBDA}, {QStringLiteral("USUÁRIO:"), EdtUSU},
        {QStringLiteral("SENHA:"), EdtSEN},
    };
    int row = 0;
    for (const auto &[caption, edit] : rows) {
        QLabel *l = FieldCaption(caption, this);
        l->setBuddy(edit);
        fields->addWidget(l, row, 0);
        fields->addWidget(edit, row, 1);
        ++row;
    }

    CkInicia = new QCheckBox(QStringLiteral("Iniciar com o Windows (requer permissão de administrador)"), this);
    CkInicia->setObjectName(QStringLiteral("CkInicia"));
    // Only the user's click: a box set by the program calls the handler itself.
    connect(CkInicia, &QCheckBox::clicked, this, &TFrmPrincipal::CkIniciaClick);
    fields->addWidget(CkInicia, row, 1);
    ++row;

    // The way to wrong ERP settings from the running program, also when it
    // started hidden and keeps failing.
    BtnConfigurarErp = new QPushButton(QStringLiteral("Configurar banco de dados do ERP..."), this);
    BtnConfigurarErp->setObjectName(QStringLiteral("BtnConfigurarErp"));
    BtnConfigurarErp->setAutoDefault(false);
    connect(BtnConfigurarErp, &QPushButton::clicked, this, &TFrmPrincipal::ConfigurarErpClick);
    fields->addWidget(BtnConfigurarErp, row, 1, Qt::AlignLeft);

    LblStatus = new QLabel(QStringLiteral("AGUARDANDO"), this);
    LblStatus->setObjectName(QStringLiteral("LblStatus"));
    LblStatus->setAlignment(Qt::AlignCenter);
    // Tahoma alone: a list of faces would take its second before the face
    // that stands in for Tahoma where it is missing.
    LblStatus->setFont(PixelFont(font(), {QStringLiteral("Tahoma")}, 33, true));
    LblStatus->setMinimumHeight(56);

    LblObservacao = new QLabel(
        QStringLiteral("OBSERVAÇÃO IMPORTANTE: a sincronização com a base de dados da catraca é feita a cada 2 segundos."),
        this);
    LblObservacao->setObjectName(QStringLiteral("LblObservacao"));
    LblObservacao->setWordWrap(true);
    {
        QFont f = LblObservacao->font();
        f.setBold(true);
        LblObservacao->setFont(f);
    }
    SetFontColor(LblObservacao, NoteColor);

    LblObservacoes = new QLabel(
        QStringLiteral("Observações: caso marque a opção para INICIAR COM O WINDOWS o programa ficará travado por 40 "
                       "segundos quando ligar o computador, para dar tempo de o ínicio do Firebird ocorrer, para que "
                       "ele possa se conectar ao banco de dados do software."),
        this);
    LblObservacoes->setObjectName(QStringLiteral("LblObservacoes"));
    LblObservacoes->setWordWrap(true);

    LblMemoria = new QLabel(QStringLiteral("aguardando..."), this);
    LblMemoria->setObjectName(QStringLiteral("LblMemoria"));

    auto makeButton = [this](const QString &text, const QIcon &icon, const char *name) {
        auto *b = new QPushButton(icon, text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setIconSize(QSize(24, 24));
        b->setMinimumSize(118, 38);
        b->setAutoDefault(false);
        return b;
    };
    BtnConectar = makeButton(QStringLiteral("Conectar F2"), ConnectArtwork(), "BtnConectar");
    BtnDesconectar = makeButton(QStringLiteral("Desconectar F3"), DisconnectArtwork(), "BtnDesconectar");
    BtnFechar = makeButton(QStringLiteral("Fechar ESC"), CloseArtwork(), "BtnFechar");
    connect(BtnConectar, &QPushButton::clicked, this, &TFrmPrincipal::BtnConectarClick);
    connect(BtnDesconectar, &QPushButton::clicked, this, &TFrmPrincipal::BtnDesconectarClick);
    connect(BtnFechar, &QPushButton::clicked, this, &TFrmPrincipal::BtnFecharClick);

    auto *bottom = new QHBoxLayout;
    // The counters' two lines need every pixel the three buttons leave.
    bottom->setSpacing(6);
    bottom->addWidget(LblMemoria, 1);
    bottom->addWidget(BtnConectar);
    bottom->addWidget(BtnDesconectar);
    bottom->addWidget(BtnFechar);

    auto *content = new QVBoxLayout;
    content->setObjectName(QStringLiteral("content"));
    // The widest status, "SEM CONEXÃO COM A CATRACA" in bold Tahoma 33,
    // needs 528 of the window's 556 pixels.
    content->setContentsMargins(12, 10, 12, 12);
    content->setSpacing(10);
    content->addWidget(LblConectado);
    content->addLayout(fields);
    content->addStretch(1);
    content->addWidget(LblStatus);
    content->addStretch(1);
    content->addWidget(LblObservacao);
    content->addWidget(LblObservacoes);
    content->addStretch(2);
    content->addLayout(bottom);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(PnTitulo);
    outer->addLayout(content, 1);
    // Tab order follows creation order: fields, check box, buttons.

}

void TFrmPrincipal::CreateTrayIcon()
{
    TI = new QSystemTrayIcon(TrayArtwork(), this);
    connect(TI, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            TIDblClick();
    });

    // Parentless, as Qt asks of a tray menu; owned through the window.
    TrayMenu = new QMenu;
    TrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    connect(this, &QObject::destroyed, TrayMenu, &QObject::deleteLater);
    ActAbrir = TrayMenu->addAction(QStringLiteral("&Abrir"), this, &TFrmPrincipal::AbrirClick);
    TrayMenu->setDefaultAction(ActAbrir);
    TrayMenu->addSeparator();
    // Exactly what F2 and F3 do, refusals included.
    ActConectar = TrayMenu->addAction(QStringLiteral("&Conectar"), this, [this] { FormKeyDown(Qt::Key_F2); });
    ActDesconectar = TrayMenu->addAction(QStringLiteral("&Desconectar"), this, [this] { FormKeyDown(Qt::Key_F3); });
    TrayMenu->addSeparator();
    ActRegistro = TrayMenu->addAction(QStringLiteral("Abrir &registro de eventos"), this,
                                      &TFrmPrincipal::AbrirRegistroClick);
    ActConfigurarErp = TrayMenu->addAction(QStringLiteral("Configurar &banco de dados do ERP..."), this,
                                           &TFrmPrincipal::ConfigurarErpClick);
    TrayMenu->addSeparator();
    // As "Fechar ESC" does.
    ActSair = TrayMenu->addAction(QStringLiteral("&Sair"), this, [this] { FormKeyDown(Qt::Key_Escape); });
    TI->setContextMenu(TrayMenu);
    ActDesconectar->setVisible(false);

    UpdateToolTip();
    // Shown even where no notification area exists yet: on a desktop whose
    // panel starts after this program, the icon appears once it is there.
    TI->show();
}

void TFrmPrincipal::CenterOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Scaled by 125 % the window is 695 x 719 pixels: with its title bar it
    // runs off a 768-pixel screen above the task bar. Where the screen leaves
    // less room than the layout asks for, the rows give up the spare height
    // between them (never below what they need); everywhere else the window
    // keeps its size. The frame is not known before the window is shown: its
    // title bar is the style's.
    const int frame = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 2 * FrameAllowance;
    const int room = area.height() - frame;
    if (room >= ClientHeight) {
        move(area.center() - QPoint(width() / 2, height() / 2));
        return;
    }
    // The wrapped notes' heights count only through the width they get.
    if (layout()->totalMinimumHeightForWidth(width()) > room)
        CompactLayout();
    setFixedHeight(std::max(room, layout()->totalMinimumHeightForWidth(width())));
    move(area.left() + (area.width() - width()) / 2, area.top() + std::max(0, (room - height()) / 2));
}

void TFrmPrincipal::CompactLayout()
{
    PnTitulo->setFixedHeight(30);
    if (auto *content = findChild<QVBoxLayout *>(QStringLiteral("content"))) {
        content->setContentsMargins(12, 4, 12, 6);
        content->setSpacing(4);
    }
    if (auto *fields = findChild<QGridLayout *>(QStringLiteral("fields")))
        fields->setVerticalSpacing(2);
    LblStatus->setMinimumHeight(44);
    for (QPushButton *b : {BtnConectar, BtnDesconectar, BtnFechar})
        b->setMinimumHeight(32);
}

void TFrmPrincipal::ShowAtStart()
{
    if (!IsHideSwitch(FirstArgument())) {
        show();
        return;
    }
    // Without a notification area an invisible window could never be brought
    // back: start minimised instead.
    if (!TrayAvailable())
        showMinimized();
}



void TFrmPrincipal::FormKeyDown(int key)
{
    Guarded([this, key] {
        switch (key) {
        case Qt::Key_Escape:
            BtnFechar->click();
            break;
        case Qt::Key_F2:
            BtnConectarClick();
            break;
        case Qt::Key_F3:
            BtnDesconectarClick();
            break;
        default:
            break;
        }
    });
}

bool TFrmPrincipal::FocusActionButton(QPushButton *button)
{
    // F2 while connected and F3 while disconnected: a disabled button cannot
    // take the focus, and the action is dropped without a word.
    if (!button->isEnabled())
        return false;
    if (isVisible())
        button->setFocus(Qt::OtherFocusReason);
    return true;
}

void TFrmPrincipal::BtnConectarClick()
{
    Guarded([this] {
        m_connecting = true;
        const auto connected = qScopeGuard([this] { m_connecting = false; });
        // Moving the focus runs the exit handler of a field being edited, so
        // what was typed is in the file before the file is read below.
        if (!FocusActionButton(BtnConectar))
            return;
        // The messages do not stop the connect: it goes on with the file.
        for (QLineEdit *field : {EdtSRV, EdtBDA, EdtUSU, EdtSEN}) {
            if (!platform::TrimControl(field->text().toStdWString()).empty())
                continue;
            if (isVisible())
                field->setFocus(Qt::OtherFocusReason);
            ShowErrorMessage(QStringLiteral("Erro"), QStringLiteral("Informe o servidor!"));
        }
        // Looking at the fields, the person asks to connect with them: a
        // missing settings file is written from them, as leaving a field
        // would. Hidden, the file is only read.
        if (isVisible() && !QFileInfo::exists(ArquivoConexao()))
            SalvaConfiguracao();

        m_sessionActive = true;
        AtualizaBotoes();
        Sync.ConnectTurnstile(ArquivoConexao());
    });
}

void TFrmPrincipal::BtnDesconectarClick()
{
    Guarded([this] {
        if (!FocusActionButton(BtnDesconectar))
            return;
        m_sessionActive = false;
        // A stop is no loss: nothing to announce when it comes back.
        m_turnstileLost = false;
        m_pendingBalloons.clear();
        AtualizaBotoes();
        // Without a connection no cycle is under way that could still
        // publish its status: say so at once.
        if (!m_turnstileConnected)
            ShowDisconnected();
        Sync.DisconnectTurnstile();
    });
}

QString TFrmPrincipal::ArquivoConexao()
{
    return turnstile::ArquivoConexao();
}

void TFrmPrincipal::CarregaConfiguracao()
{
    const turnstile::TSettingValues values = turnstile::LoadSettings(ArquivoConexao());
    QLineEdit *const fields[] = {EdtSRV, EdtPOR, EdtBDA, EdtUSU, EdtSEN};
    for (std::size_t i = 0; i < values.size(); ++i)
        fields[i]->setText(values[i]);
    m_configuracaoCarregada = true;
    m_camposDoArquivo = QFileInfo::exists(ArquivoConexao());

    CkInicia->setChecked(RunsAtStartup(AutoStartValueName));
    // Rewritten at every start, so the entry follows the executable if the
    // installation was moved. A failure here is no reason to hold up the
    // start: it is logged and shown in a box that waits for nobody.
    if (!CkInicia->isChecked())
        return;
    try {
        SetRunAtStartup(true, AutoStartValueName, QStringLiteral("HIDE"));
    } catch (const std::exception &e) {
        const QSignalBlocker blocker(CkInicia);
        CkInicia->setChecked(RunsAtStartup(AutoStartValueName));
        LogEvent(QStringLiteral("Falha ao atualizar a inicialização com o sistema: ") + ErrorMessageOf(e));
        OpenErrorBox(ErrorMessageOf(e));
    }
}

void TFrmPrincipal::SalvaConfiguracao()
{
    if (!m_configuracaoCarregada)
        return;
    const QString file = ArquivoConexao();
    const turnstile::TSettingValues values = {EdtSRV->text(), EdtPOR->text(), EdtBDA->text(), EdtUSU->text(),
                                              EdtSEN->text()};
    const bool changed = !QFileInfo::exists(file) || turnstile::LoadSettings(file) != values;
    turnstile::SaveSettings(file, values);
    m_camposDoArquivo = true;
    // The failure box names the fields to check: a field corrected while it
    // shows is used at once, with no Conectar F2 to press (nor, while the
    // connection is up, F3 first). A field left empty is not a correction;
    // a file changed by other means waits for the next connect.
    const bool failing = !m_turnstileConnected || m_publishedTray == TSyncTrayState::Failing;
    if (!changed || m_connecting || !m_sessionActive || !failing)
        return;
    for (const QLineEdit *field : {EdtSRV, EdtBDA, EdtUSU, EdtSEN}) {
        if (platform::TrimControl(field->text().toStdWString()).empty())
            return;
    }
    LogEvent(QStringLiteral("Configurações da catraca corrigidas pelo usuário durante a falha: conectando com elas."));
    Sync.ConnectTurnstile(file);
}

void TFrmPrincipal::MostraConfiguracaoGravada()
{
    // Left showing the defaults, the fields would be written over the file
    // the next time one of them is left.
    if (m_camposDoArquivo || !m_configuracaoCarregada || !QFileInfo::exists(ArquivoConexao()))
        return;
    const turnstile::TSettingValues values = turnstile::LoadSettings(ArquivoConexao());
    QLineEdit *const fields[] = {EdtSRV, EdtPOR, EdtBDA, EdtUSU, EdtSEN};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!fields[i]->isModified())
            fields[i]->setText(values[i]);
    }
    m_camposDoArquivo = true;
}

void TFrmPrincipal::EdtSRVExit()
{
    Guarded([this] { SalvaConfiguracao(); });
}

void TFrmPrincipal::EdtBDAExit()
{
    Guarded([this] { SalvaConfiguracao(); });
}

void TFrmPrincipal::EdtUSUExit()
{
    Guarded([this] { SalvaConfiguracao(); });
}

void TFrmPrincipal::EdtSENExit()
{
    Guarded([this] { SalvaConfiguracao(); });
}

void TFrmPrincipal::CkIniciaClick()
{
    Guarded([this] {
        try {
            SetRunAtStartup(CkInicia->isChecked(), AutoStartValueName, QStringLiteral("HIDE"));
        } catch (...) {
            // A failure must never look like success: the box shows what the
            // start-up list really holds.
            const QSignalBlocker blocker(CkInicia);
            CkInicia->setChecked(RunsAtStartup(AutoStartValueName));
            throw;
        }
    });
}

void TFrmPrincipal::BtnFecharClick()
{
    Guarded([this] {
        // The field being edited loses the focus first, so its exit handler
        // saves what was typed before the window goes.
        BtnFechar->setFocus(Qt::OtherFocusReason);
        close();
    });
}

void TFrmPrincipal::AtualizaBotoes()
{
    Guarded([this] {
        const TSessionView view = ViewOf({m_turnstileConnected, m_sessionActive, m_publishedTray});
        BtnConectar->setEnabled(view.connectEnabled);
        BtnDesconectar->setEnabled(view.disconnectEnabled);
        if (ActConectar) {
            ActConectar->setVisible(view.connectEnabled);
            ActDesconectar->setVisible(view.disconnectEnabled);
        }
        ShowTrayIcon(view.tray);
    });
}


void TFrmPrincipal::AppMinimize()
{
    Guarded([this] {
        // Without a notification area the minimised window stays on the task
        // bar: hiding it would leave no way back.
        if (!TrayAvailable())
            return;
        hide();
        setWindowState(windowState() | Qt::WindowMinimized);
    });
}

void TFrmPrincipal::TIDblClick()
{
    Guarded([this] {
        if (isVisible())
            return;
        showNormal();
        raise();
        activateWindow();
    });
}

void TFrmPrincipal::AbrirClick()
{
    Guarded([this] {
        TIDblClick();
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
    });
}

void TFrmPrincipal::AbrirRegistroClick()
{
    Guarded([this] {
        const QString path = EventLogPath();
        if (!QFileInfo::exists(path)) {
            ShowErrorMessage(QStringLiteral("Erro"), QStringLiteral("O registro de eventos não foi encontrado: ") + path);
            return;
        }
        // The opener's verdict comes later, on a thread of the platform
        // layer; the window may be gone by then.
        QPointer<TFrmPrincipal> self(this);
        const auto failed = [self, path](int exitCode) {
            QMetaObject::invokeMethod(
                qApp,
                [self, path, exitCode] {
                    if (self)
                        self->ShowOpenerFailure(path, exitCode);
                },
                Qt::QueuedConnection);
        };
        if (!platform::OpenTextFile(QDir::toNativeSeparators(path).toStdWString(), failed))
            ShowErrorMessage(QStringLiteral("Erro"),
                             QStringLiteral("Não foi possível abrir o registro de eventos: ") + path);
    });
}

void TFrmPrincipal::ShowOpenerFailure(const QString &path, int exitCode)
{
    // It arrives while the user may be doing something else: a box that
    // waits for nobody.
    OpenErrorBox(QStringLiteral("O programa do sistema que abre arquivos de texto terminou com erro (código %1) e o "
                                "registro de eventos não foi aberto. Abra-o por outro programa: %2")
                     .arg(exitCode)
                     .arg(QDir::toNativeSeparators(path)));
}

void TFrmPrincipal::ConfigurarErpClick()
{
    Guarded([this] {
        // The tray menu stays reachable while the dialog is open.
        if (m_erpDialogOpen)
            return;
        m_erpDialogOpen = true;
        const auto reopenable = qScopeGuard([this] { m_erpDialogOpen = false; });
        if (!DBManager.EditSettings())
            return;
        LogEvent(QStringLiteral("Configurações do banco de dados do ERP alteradas pelo usuário."));
        UseErpSettings();
    });
}

void TFrmPrincipal::UseErpSettings()
{
    // The engine attaches anew, on its own thread, with what the file holds
    // now.
    const TErpSettings erp = DBManager.SettingsForEngine();
    Sync.Start(erp.DatabaseName, erp.Params);
}

bool TFrmPrincipal::TrayAvailable()
{
    if (trayOverride())
        return *trayOverride();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TFrmPrincipal::SetTrayAvailableForTesting(std::optional<bool> available)
{
    trayOverride() = available;
}

bool TFrmPrincipal::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        // Every loss of the focus saves, changed or not, so leaving any field
        // writes all five keys; a mere switch to another window is no exit.
        if (static_cast<QFocusEvent *>(event)->reason() == Qt::ActiveWindowFocusReason)
            return false;
        if (watched == EdtSRV || watched == EdtPOR)
            EdtSRVExit();
        else if (watched == EdtBDA)
            EdtBDAExit();
        else if (watched == EdtUSU)
            EdtUSUExit();
        else if (watched == EdtSEN)
            EdtSENExit();
        return false;
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    if (static_cast<QWidget *>(watched)->window() != this)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key != Qt::Key_Escape && key != Qt::Key_F2 && key != Qt::Key_F3)
        return false;
    // Consumed here: a key left to propagate would reach this filter again
    // on each parent and run its action twice.
    FormKeyDown(key);
    return true;
}

void TFrmPrincipal::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A box opened while the window was hidden (a start with the system) was
    // placed beside where the window was not yet; once the window is framed,
    // beside where it is.
    QTimer::singleShot(0, this, [this] {
        if (!m_failureBox)
            return;
        PlaceFailureBox(*m_failureBox);
        // On a small screen it sits inside the window: in front of it.
        m_failureBox->raise();
    });
}

void TFrmPrincipal::PlaceFailureBox(QWidget &box) const
{
    const QScreen *shownOn = screen();
    if (!shownOn)
        return;
    // A window the window manager has not framed yet gets the frame it will
    // have: the style's title bar and the borders.
    const auto framed = [](const QWidget &w) {
        if (w.frameGeometry() != w.geometry())
            return w.frameGeometry();
        const int title = w.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &w);
        return w.geometry().adjusted(-FrameAllowance, -title - FrameAllowance, FrameAllowance, FrameAllowance);
    };
    const QRect fields(mapToGlobal(QPoint(0, EdtSRV->y())),
                       mapToGlobal(QPoint(width() - 1, BtnConfigurarErp->geometry().bottom())));
    box.move(BoxPosition(framed(*this), fields, framed(box).size(), shownOn->availableGeometry()));
}

void TFrmPrincipal::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && m_appMinimizeAttached && isMinimized()) {
        // Hiding from inside the state change confuses some window managers.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && isVisible())
                AppMinimize();
        });
    }
}

void TFrmPrincipal::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit Closed();
}
