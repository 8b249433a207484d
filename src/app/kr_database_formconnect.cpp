#include "app/kr_database_formconnect.h"

#include "base/kr_error.h"
#include "base/kr_guard.h"
#include "base/kr_trace.h"
#include "engine/failure_text.h"
#include "erp/pingsend_qt.h"
#include "system/app_env.h"
#include "system/kr_message.h"
#include "system/kr_windows.h"
#include "uikit/kr_controls.h"
#include "uikit/kr_theme.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolButton>

#include <algorithm>
#include <iterator>

TFrmKRDBConnect *FrmKRDBConnect = nullptr;

namespace {

constexpr int TitleHeight = 32;
constexpr int Margin = 10;
constexpr int GroupBox2Height = 80;
constexpr int GroupBox3Height = 93;
constexpr int Panel2Height = 41;
constexpr int SpeedButtonMargin = 8;
constexpr int SpeedButtonHeight = 30;
constexpr int ButtonWidth = 95;
constexpr int ButtonHeight = 33;
constexpr int ButtonGap = 4;
// Where the note of the advanced area starts, and its design height.
constexpr int NoteTop = 76;
constexpr int NoteHeight = 80;
// The vertical gaps a squeezed layout narrows, in this order: above the IP
// group, between the groups, above the advanced area, around the advanced
// button (one gap, used above and below it), below the advanced group.
struct TGap {
    int design;
    int least;
};
constexpr TGap Gaps[] = {{Margin, 4}, {2 * Margin, 6}, {Margin, 2}, {SpeedButtonMargin, 2}, {SpeedButtonMargin, 2}};
constexpr int SpareGaps()
{
    int spare = 0;
    for (const TGap &gap : Gaps)
        spare += gap.design - gap.least;
    return spare;
}

// The design's window frame: outer height 534 for a client area 505 high.
constexpr int DesignNonClientHeight = TFrmKRDBConnect::ExpandedOuterHeight - TFrmKRDBConnect::DesignClientHeight;

// Window colour values, red in the low byte.
constexpr TColor PnMestreColor = 16514043;
constexpr TColor Panel2Color = 15395562;
constexpr TColor HintColor = 16744448;
constexpr TColor clMaroon = MakeColorRef(128, 0, 0);

const QString LocalHost = QStringLiteral("127.0.0.1");

QFont Arial(int pixelHeight, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

QWidget *ColouredPanel(QWidget *parent, TColor colour)
{
    auto *panel = new QWidget(parent);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, FromColorRef(colour));
    panel->setPalette(p);
    return panel;
}

void SetTextColour(QWidget *widget, TColor colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, FromColorRef(colour));
    p.setColor(QPalette::ButtonText, FromColorRef(colour));
    widget->setPalette(p);
}

QLabel *Note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

QLineEdit *MaskedEdit(QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    // The same mask character on every platform, as the users know it.
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    return edit;
}

// Closes the database however the test ends; a failure while closing after
// a failed open has nothing left to report.
class TCloseOnExit
{
public:
    explicit TCloseOnExit(TFbDatabase &database) : m_database(database) {}
    ~TCloseOnExit()
    {
        try {
            m_database.Close();
        } catch (...) {
        }
    }
    TCloseOnExit(const TCloseOnExit &) = delete;
    TCloseOnExit &operator=(const TCloseOnExit &) = delete;

private:
    TFbDatabase &m_database;
};

} // namespace

QImage TFrmKRDBConnect::ButtonGlyph(GlyphKind kind)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(40, 150, 60);
    const QColor blue(30, 100, 190);
    const QColor red(200, 40, 40);
    switch (kind) {
    case GlyphTestar: {
        // A database drum with a tick.
        p.setPen(QPen(QColor(60, 80, 110), 1));
        p.setBrush(QColor(150, 180, 215));
        p.drawRect(QRectF(1.5, 3.5, 9, 9));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(2, 3, 8, 10));
        p.setPen(QPen(QColor(60, 80, 110), 1));
        p.drawEllipse(QRectF(1.5, 1.5, 9, 4));
        p.drawArc(QRectF(1.5, 10.5, 9, 4), 180 * 16, 180 * 16);
        p.drawLine(QPointF(1.5, 3.5), QPointF(1.5, 12.5));
        p.drawLine(QPointF(10.5, 3.5), QPointF(10.5, 12.5));
        p.setPen(QPen(green, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(8, 10.5), QPointF(10.5, 13), QPointF(14.5, 7)}));
        break;
    }
    case GlyphConectar: {
        // An arrow going into a socket.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 90, 90));
        p.drawRoundedRect(QRectF(11, 2, 4, 12), 1, 1);
        p.setBrush(green);
        QPainterPath arrow;
        arrow.moveTo(1, 6);
        arrow.lineTo(5, 6);
        arrow.lineTo(5, 2.5);
        arrow.lineTo(10.5, 8);
        arrow.lineTo(5, 13.5);
        arrow.lineTo(5, 10);
        arrow.lineTo(1, 10);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    case GlyphTools: {
        // A spanner.
        p.setPen(QPen(QColor(95, 100, 110), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 13), QPointF(9, 7));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(95, 100, 110));
        p.drawEllipse(QPointF(11, 5), 4, 4);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.drawRect(QRectF(11, 0, 3.5, 5.5).translated(0.5, 0));
        break;
    }
    case GlyphPing: {
        // A source and its waves.
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawEllipse(QPointF(3.5, 12.5), 2, 2);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(blue, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(-2.5, 6.5, 12, 12), 0, 90 * 16);
        p.drawArc(QRectF(-7.5, 1.5, 22, 22), 0, 90 * 16);
        break;
    }
    case GlyphCancelar: {
        p.setPen(Qt::NoPen);
        p.setBrush(red);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
        break;
    }
    }
    return image;
}

TFrmKRDBConnect::TFrmKRDBConnect(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Configuração do Banco de Dados"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFont(Arial(11));
    setFixedSize(DesignClientWidth, DesignClientHeight);

    // The stored theme; LoadSettings replaces it with the user's before
    // every showing.
    Tema = new TKRTheme(this);
    Tema->SetGradientType(gtRadialTL);
    Tema->SetThemeColors(tcAzul);

    PnMestre = ColouredPanel(this, PnMestreColor);

    KRPanel1 = new TKRPanel(PnMestre);
    KRPanel1->setFont(Arial(15, true));
    KRPanel1->SetCaption(QStringLiteral("Configurações de Conexão"));
    KRPanel1->SetTheme(Tema);

    GroupBox2 = new QGroupBox(
        QStringLiteral("Nº IP (caso o banco de dados esteja neste computador o IP deve ser 127.0.0.1)"), PnMestre);
    Label3 = new QLabel(QStringLiteral("Número IP do servidor:"), GroupBox2);
    EdtIP = new QLineEdit(GroupBox2);
    Label5 = Note(QStringLiteral("Você deverá liberar a porta 3050 caso possua um FIREWALL no servidor. "), GroupBox2);
    Label5->setFont(Arial(11, true));
    SetTextColour(Label5, HintColor);
    Label3->move(12, 20);
    EdtIP->setGeometry(12, 36, 464, 21);
    Label5->setGeometry(8, 61, 472, 14);

    GroupBox3 = new QGroupBox(QStringLiteral("Caminho do banco de dados (não use mapeamentos ou caminhos de rede)"),
                              PnMestre);
    Label2 = new QLabel(QStringLiteral("Local do Banco de Dados no Servidor:"), GroupBox3);
    EdtLocal = new QLineEdit(GroupBox3);
    Label4 = Note(QStringLiteral("Informe o diretório onde o banco de dados está instalado. Se este não for o "
                                 "servidor você deve informar o mesmo caminho que informou no servidor."),
                  GroupBox3);
    SetTextColour(Label4, HintColor);
    Label2->move(12, 20);
    EdtLocal->setGeometry(12, 36, 464, 21);
    Label4->setGeometry(8, 60, 472, 28);

    PNAV = new QWidget(PnMestre);
    SpeedButton1 = new QToolButton(PNAV);
    SpeedButton1->setText(QStringLiteral("CONFIGURAÇÕES AVANÇADAS (Somente para usuários avançados)"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setCursor(Qt::PointingHandCursor);
    SetTextColour(SpeedButton1, clMaroon);

    GroupBox1 = new QGroupBox(QStringLiteral("Configurações Avançadas"), PNAV);
    CkConfig = new QCheckBox(QStringLiteral("Usar configurações avançadas (desmarque esta opção se não usar)"),
                             GroupBox1);
    LblUsuario = new QLabel(QStringLiteral("Usuário:"), GroupBox1);
    EdtUsuario = new QLineEdit(GroupBox1);
    LblSenha = new QLabel(QStringLiteral("Senha:"), GroupBox1);
    EdtSenha = MaskedEdit(GroupBox1);
    LblPorta = new QLabel(QStringLiteral("Porta:"), GroupBox1);
    EdtPorta = MaskedEdit(GroupBox1);
    LblAV = Note(QStringLiteral("O usuário padrão do Firebird é o SYSDBA. A senha padrão é VELLOWTIP. A porta padrão "
                                "é a 3050. Caso não preencha o sistema usará estes valores padrões. Somente caso "
                                "marque o campo usar configurações avançadas (acima) pode alterar estes campos mas "
                                "recomendamos alterar apenas caso tenha conhecimento no que está fazendo."),
                 GroupBox1);
    CkConfig->setGeometry(12, 20, 464, 17);
    LblUsuario->setGeometry(12, 48, 44, 13);
    EdtUsuario->setGeometry(58, 44, 130, 21);
    LblSenha->setGeometry(202, 48, 36, 13);
    EdtSenha->setGeometry(240, 44, 110, 21);
    LblPorta->setGeometry(364, 48, 32, 13);
    EdtPorta->setGeometry(398, 44, 78, 21);
    LblAV->setGeometry(10, NoteTop, 468, NoteHeight);

    Panel2 = ColouredPanel(this, Panel2Color);
    BtnTestar = new TKRButton(Panel2);
    BtnConectar = new TKRButton(Panel2);
    BtnTools = new TKRButton(Panel2);
    BtnPing = new TKRButton(Panel2);
    BtnCancelar = new TKRButton(Panel2);
    const struct {
        TKRButton *button;
        const char *caption;
        GlyphKind glyph;
    } buttons[] = {
        {BtnTestar, "Testar F2", GlyphTestar},       {BtnConectar, "Conectar F3", GlyphConectar},
        {BtnTools, "Tools F4", GlyphTools},          {BtnPing, "Ping F5", GlyphPing},
        {BtnCancelar, "Cancelar ESC", GlyphCancelar},
    };
    const int left = (DesignClientWidth - 5 * ButtonWidth - 4 * ButtonGap) / 2;
    int x = left;
    for (const auto &b : buttons) {
        b.button->SetTheme(Tema);
        b.button->SetCaption(QString::fromUtf8(b.caption));
        b.button->SetGlyph(ButtonGlyph(b.glyph));
        b.button->SetGlyphPos(gpLeft);
        b.button->setGeometry(x, (Panel2Height - ButtonHeight) / 2, ButtonWidth, ButtonHeight);
        x += ButtonWidth + ButtonGap;
    }

    setTabOrder(EdtIP, EdtLocal);
    setTabOrder(EdtLocal, CkConfig);
    setTabOrder(CkConfig, EdtUsuario);
    setTabOrder(EdtUsuario, EdtSenha);
    setTabOrder(EdtSenha, EdtPorta);
    setTabOrder(EdtPorta, BtnTestar);
    setTabOrder(BtnTestar, BtnConectar);
    setTabOrder(BtnConectar, BtnCancelar);
    setTabOrder(BtnCancelar, BtnTools);
    setTabOrder(BtnTools, BtnPing);

    connect(BtnTestar, &TKRButton::clicked, this, [this] { Guarded([this] { BtnTestarClick(); }); });
    connect(BtnConectar, &TKRButton::clicked, this, [this] { Guarded([this] { BtnConectarClick(); }); });
    connect(BtnTools, &TKRButton::clicked, this, [this] { Guarded([this] { BtnToolsClick(); }); });
    connect(BtnPing, &TKRButton::clicked, this, [this] { Guarded([this] { BtnPingClick(); }); });
    connect(BtnCancelar, &TKRButton::clicked, this, [this] { Guarded([this] { BtnCancelarClick(); }); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { Guarded([this] { SpeedButton1Click(); }); });
    connect(CkConfig, &QCheckBox::clicked, this, [this] { Guarded([this] { CkConfigClick(); }); });

    // The form sees every key before the control that has the focus.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    LayoutPanels();
}

TFrmKRDBConnect::~TFrmKRDBConnect()
{
    if (FrmKRDBConnect == this)
        FrmKRDBConnect = nullptr;
}

void TFrmKRDBConnect::LayoutPanels()
{
    // A squeezed layout gives up the spare room of the gaps first, then the
    // note's blank lines; never a row.
    int squeeze = m_squeeze;
    int gaps[std::size(Gaps)];
    for (std::size_t i = 0; i < std::size(Gaps); ++i) {
        const int taken = std::min(Gaps[i].design - Gaps[i].least, squeeze);
        squeeze -= taken;
        gaps[i] = Gaps[i].design - taken;
    }
    const auto [topGap, groupGap, navGap, buttonGap, bottomGap] = gaps;

    const int w = width();
    const int masterHeight = std::max(0, height() - Panel2Height);
    PnMestre->setGeometry(0, 0, w, masterHeight);
    Panel2->setGeometry(0, masterHeight, w, Panel2Height);
    KRPanel1->setGeometry(0, 0, w, TitleHeight);
    GroupBox2->setGeometry(Margin, TitleHeight + topGap, w - 2 * Margin, GroupBox2Height);
    GroupBox3->setGeometry(Margin, GroupBox2->geometry().bottom() + 1 + groupGap, w - 2 * Margin,
                           GroupBox3Height);
    const int navTop = GroupBox3->geometry().bottom() + 1 + navGap;
    PNAV->setGeometry(0, navTop, w, std::max(0, masterHeight - navTop));
    SpeedButton1->setGeometry(Margin, buttonGap, w - 2 * Margin, SpeedButtonHeight);
    // Collapsed, PNAV clips the group away; it keeps its open size meanwhile.
    const int groupTop = buttonGap + SpeedButtonHeight + buttonGap;
    const int openGroupHeight = ExpandedOuterHeight - DesignNonClientHeight - m_squeeze - Panel2Height - navTop
                                - groupTop - bottomGap;
    GroupBox1->setGeometry(Margin, groupTop, w - 2 * Margin,
                           std::max(openGroupHeight, PNAV->height() - groupTop - bottomGap));
    LblAV->setGeometry(LblAV->x(), NoteTop, LblAV->width(), NoteHeight - squeeze);
}

QRect TFrmKRDBConnect::WorkArea() const
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

void TFrmKRDBConnect::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    LayoutPanels();
}

int TFrmKRDBConnect::NonClientHeight() const
{
    const int frame = frameGeometry().height() - geometry().height();
    return frame > 0 ? frame : DesignNonClientHeight;
}

int TFrmKRDBConnect::OuterHeight() const
{
    return height() + NonClientHeight();
}

void TFrmKRDBConnect::SetOuterHeight(int outer)
{
    setFixedSize(width(), std::max(0, outer - NonClientHeight()));
    // A hidden window gets its resize event only when shown.
    LayoutPanels();
}

bool TFrmKRDBConnect::Execute()
{
    FormShow();
    // Centred horizontally on every showing; Avancado has placed it vertically.
    if (const QRect area = WorkArea(); !area.isEmpty()) {
        const int frameWidth = frameGeometry().width() - geometry().width();
        move(area.x() + RoundHalfEven((area.width() - width() - frameWidth) / 2.0), y());
    }
    return exec() == QDialog::Accepted;
}

TConnectEntries TFrmKRDBConnect::Entries() const
{
    TConnectEntries entries;
    entries.Host = EdtIP->text();
    entries.DatabasePath = EdtLocal->text();
    entries.Port = EdtPorta->text();
    entries.User = EdtUsuario->text();
    entries.Password = EdtSenha->text();
    entries.Advanced = CkConfig->isChecked();
    return entries;
}

QString TFrmKRDBConnect::Caminho()
{
    TracePoint("TFrmKRDBConnect.Caminho : String", "DBIBXCONECT71");
    if (EdtIP->text().trimmed().isEmpty())
        EdtIP->setText(LocalHost);
    // The same string the connection made after "Conectar F3" uses, port
    // included: a test that left the port out would fail a configuration
    // that works, or pass one that does not.
    return ErpConnectionString(EdtIP->text(), EdtPorta->text(), EdtLocal->text());
}

void TFrmKRDBConnect::Avancado(bool expanded)
{
    TracePoint("TFrmKRDBConnect.Avancado", "DBIBXCONECT79");
    CkConfig->setEnabled(expanded);
    EdtUsuario->setEnabled(expanded && CkConfig->isChecked());
    EdtSenha->setEnabled(expanded && CkConfig->isChecked());
    LblAV->setVisible(expanded);
    // Centred on the work area, which the open dialog must fit: at 150 % a
    // 1366 x 768 screen leaves less than its 534 pixels above the task bar.
    // The layout gives up at most its spare room; past that the window
    // keeps its top on the screen and runs below the task bar.
    const QRect area = WorkArea();
    m_squeeze = 0;
    if (expanded && !area.isEmpty()) {
        const int noteText = LblAV->heightForWidth(LblAV->width());
        const int spare = SpareGaps() + std::max(0, NoteHeight - noteText);
        m_squeeze = std::clamp(ExpandedOuterHeight - area.height(), 0, spare);
    }
    LayoutPanels();
    SetOuterHeight(expanded ? ExpandedOuterHeight - m_squeeze : PNAV->y() + Panel2->height() + CollapsedExtra);
    if (!area.isEmpty())
        move(x(), area.y() + std::max(0, RoundHalfEven((area.height() - OuterHeight()) / 2.0)));
}

void TFrmKRDBConnect::BtnTestarClick()
{
    TracePoint("TFrmKRDBConnect.BtnTestarClick", "DBIBXCONECT101");
    if (!Database)
        throw KrError(QStringLiteral("A conexão com o banco de dados do ERP não foi definida."));
    TFbDatabase &database = *Database;
    database.CloseDataSets();
    database.Close();
    database.DatabaseName = Caminho();
    while (database.Params.size() < 2)
        database.Params.append(QString());
    if (CkConfig->isChecked()) {
        database.Params[0] = QStringLiteral("user_name=") + EdtUsuario->text();
        database.Params[1] = QStringLiteral("password=") + EdtSenha->text();
    } else {
        database.Params[0] = QStringLiteral("user_name=SYSDBA");
        database.Params[1] = QStringLiteral("password=vellowtip");
    }

    TCloseOnExit closer(database);
    QString failure;
    try {
        database.Open();
    } catch (const std::exception &e) {
        failure = DescribeFailure(TFailureSide::Erp, TFailureStage::Connect, database.DatabaseName, e,
                                  TFailureRetry::NotRetried);
    }
    if (failure.isEmpty())
        ShowInfoMessage(QStringLiteral("Conexão"), QStringLiteral("Conexão realizada com sucesso!"));
    else
        ShowErrorMessage(QStringLiteral("Erro ao conectar"), failure);
}

void TFrmKRDBConnect::BtnConectarClick()
{
    TracePoint("TFrmKRDBConnect.BtnConectarClick", "DBIBXCONECT130");
    accept();
}

void TFrmKRDBConnect::BtnPingClick()
{
    TracePoint("TFrmKRDBConnect.BtnPingClick", "DBIBXCONECT138");
    const QString host = EdtIP->text();
    const int time = PingResponseTime(host, PingTimeout);
    if (time < 0)
        ShowErrorMessage(QStringLiteral("Erro"), QStringLiteral("O IP ") + host + QStringLiteral(" parece não estar acessível!"));
    else
        ShowInfoMessage(QStringLiteral("Sucesso"), QStringLiteral("Ping realizado com sucesso!") + QChar(13)
                                                       + QStringLiteral("Tempo de resposta: ") + QString::number(time)
                                                       + QStringLiteral(" ms"));
}

void TFrmKRDBConnect::BtnCancelarClick()
{
    TracePoint("TFrmKRDBConnect.BtnCancelarClick", "DBIBXCONECT153");
    reject();
}

void TFrmKRDBConnect::BtnToolsClick()
{
    TracePoint("TFrmKRDBConnect.BtnToolsClick", "DBIBXCONECT161");
    QString program = ExecutableFolder() + QStringLiteral("KreloTools.exe");
    if (!LocalFileExists(program))
        program = ExecutableFolder() + QStringLiteral("Tools.exe");
    if (!LocalFileExists(program))
        throw KrError(QStringLiteral("O programa não foi encontrado!"));
    ExecProgram(program, QString(), 1, false);
}

void TFrmKRDBConnect::SpeedButton1Click()
{
    TracePoint("TFrmKRDBConnect.SpeedButton1Click", "DBIBXCONECT171");
    Avancado(!CkConfig->isEnabled());
}

void TFrmKRDBConnect::FormKeyDown(int key)
{
    TracePoint("TFrmKRDBConnect.FormKeyDown", "DBIBXCONECT178");
    switch (key) {
    case Qt::Key_Escape: BtnCancelar->Click(); break;
    case Qt::Key_F2: BtnTestar->Click(); break;
    case Qt::Key_F3: BtnConectar->Click(); break;
    case Qt::Key_F4: BtnTools->Click(); break;
    case Qt::Key_F5: BtnPing->Click(); break;
    default: break;
    }
}

void TFrmKRDBConnect::FormShow()
{
    TracePoint("TFrmKRDBConnect.FormShow", "DBIBXCONECT192");
    Tema->LoadSettings();
    const TConnectEntries entries = EntriesToShow();
    EdtIP->setText(entries.Host);
    EdtLocal->setText(entries.DatabasePath);
    EdtPorta->setText(entries.Port);
    EdtUsuario->setText(entries.User);
    EdtSenha->setText(entries.Password);
    CkConfig->setChecked(entries.Advanced);
    // A database on this computer is reached through the local host address.
    EdtIP->setEnabled(!LocalFileExists(EdtLocal->text()));
    CkConfigClick();
    Avancado(false);
}

void TFrmKRDBConnect::CkConfigClick()
{
    TracePoint("TFrmKRDBConnect.CkConfigClick", "DBIBXCONECT215");
    const bool on = CkConfig->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(LblUsuario), static_cast<QWidget *>(EdtUsuario),
                       static_cast<QWidget *>(LblSenha), static_cast<QWidget *>(EdtSenha),
                       static_cast<QWidget *>(LblPorta), static_cast<QWidget *>(EdtPorta)})
        w->setEnabled(on);
}

bool TFrmKRDBConnect::eventFilter(QObject *watched, QEvent *event)
{
    // Seen once, at the control that has the focus (or at the form when none
    // has), not again while the key travels up to the parents.
    if (event->type() == QEvent::KeyPress && isVisible()) {
        QWidget *focus = QApplication::focusWidget();
        if (focus && focus->window() != this)
            focus = nullptr;
        if (watched == (focus ? static_cast<QObject *>(focus) : this)) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            Guarded([this, key] { FormKeyDown(key); });
            switch (key) {
            case Qt::Key_Escape:
            case Qt::Key_F2:
            case Qt::Key_F3:
            case Qt::Key_F4:
            case Qt::Key_F5:
                return true;
            default:
                break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void InstallConnectPrompt()
{
    SetConnectPromptFactory([]() -> std::unique_ptr<IConnectPrompt> {
        auto form = std::make_unique<TFrmKRDBConnect>();
        FrmKRDBConnect = form.get();
        return form;
    });
}
