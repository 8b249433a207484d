#include "uikit/kr_dialog_form.h"

#include "base/kr_trace.h"
#include "uikit/kr_comboradiobox.h"
#include "uikit/kr_controls.h"
#include "uikit/kr_theme.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyledItemDelegate>

namespace {
constexpr int ClientWidth = 527;
constexpr int ClientHeight = 372;
constexpr int TitleHeight = 30;
constexpr int ButtonStripHeight = 42;
constexpr int IconSize = 128;

QFont Arial(int pixelHeight, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

QWidget *WhitePanel(QWidget *parent)
{
    auto *panel = new QWidget(parent);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, Qt::white);
    panel->setPalette(p);
    return panel;
}

TKRThemeColors SchemeOf(TDialogKind kind)
{
    switch (kind) {
    case dkQuestion: return tcVerde;
    case dkWarning:
    case dkWarningQuestion: return tcAmarelo;
    case dkError: return tcVermelho;
    case dkInformation: break;
    }
    return tcAzul;
}

class FixedItemHeight : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 16);
    }
};

// The designer's colours for the blue dialog; every other kind regenerates them.
void StoreAzulColors(TKRTheme &theme)
{
    const auto rgb = MakeColorRef;
    theme.SetNormalColors({rgb(217, 236, 255), rgb(176, 216, 255), rgb(168, 211, 255), rgb(136, 196, 255),
                           rgb(45, 150, 255), rgb(0, 70, 140)});
    theme.SetHotColors({rgb(170, 213, 255), rgb(117, 186, 255), rgb(108, 182, 255), rgb(62, 158, 255),
                        rgb(45, 150, 255), rgb(0, 70, 140)});
    theme.SetFocusColors({rgb(217, 236, 255), rgb(176, 216, 255), rgb(168, 211, 255), rgb(136, 196, 255),
                          rgb(125, 190, 255), rgb(0, 106, 213)});
    theme.SetDisableColors(DisabledGreys());
}

QLabel *IconLabel(QWidget *parent, TFrmDialog::IconKind icon)
{
    auto *label = new QLabel(parent);
    label->setPixmap(QPixmap::fromImage(TFrmDialog::Watermark(icon)));
    label->resize(IconSize, IconSize);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->hide();
    return label;
}
} // namespace

QImage TFrmDialog::Watermark(IconKind icon)
{
    QImage image(IconSize, IconSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QColor lightBlue(196, 222, 248);
    const QColor lightYellow(252, 236, 170);
    const QColor lightRed(248, 200, 200);
    const QRectF badge(6, 6, 116, 116);
    switch (icon) {
    case IconInfo:
        p.setBrush(lightBlue);
        p.drawEllipse(badge);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(54, 24, 20, 20));
        p.drawRoundedRect(QRectF(55, 52, 18, 52), 4, 4);
        break;
    case IconQuestion: {
        p.setBrush(lightBlue);
        p.drawEllipse(badge);
        QPen pen(Qt::white, 15, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        QPainterPath hook;
        hook.moveTo(44, 48);
        hook.cubicTo(44, 24, 86, 22, 86, 46);
        hook.cubicTo(86, 62, 64, 62, 64, 80);
        p.drawPath(hook);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(55, 90, 18, 18));
        break;
    }
    case IconWarning: {
        p.setBrush(lightYellow);
        QPainterPath triangle;
        triangle.moveTo(64, 8);
        triangle.lineTo(124, 116);
        triangle.lineTo(4, 116);
        triangle.closeSubpath();
        p.setPen(QPen(lightYellow, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(triangle);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        QPainterPath bar;
        bar.moveTo(55, 42);
        bar.lineTo(73, 42);
        bar.lineTo(69, 86);
        bar.lineTo(59, 86);
        bar.closeSubpath();
        p.drawPath(bar);
        p.drawEllipse(QRectF(55, 92, 18, 18));
        break;
    }
    case IconError:
        p.setBrush(lightRed);
        p.drawEllipse(badge);
        p.setPen(QPen(Qt::white, 16, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(42, 42), QPointF(86, 86));
        p.drawLine(QPointF(86, 42), QPointF(42, 86));
        break;
    }
    return image;
}

TFrmDialog::TFrmDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(ClientWidth, ClientHeight);
    setFont(Arial(11));
    QPalette face = palette();
    face.setColor(QPalette::Window, FromColorRef(clBtnFace));
    setPalette(face);

    // The dialog keeps its own colours: never the user's theme settings.
    Cores = new TKRTheme(this);
    Cores->SetNoRead(true);
    Cores->SetGradientType(gtRadialTL);
    Cores->SetGradientRotation(0);
    Cores->SetGradientShift(0);
    Cores->SetBorderWidth(1);
    Cores->SetThemeColors(tcAzul);
    StoreAzulColors(*Cores);

    PnTitulo = new TKRPanel(this);
    PnTitulo->setFont(Arial(19, true));
    PnTitulo->SetTheme(Cores);

    Panel1 = WhitePanel(this);
    ImInfo = IconLabel(Panel1, IconInfo);
    ImQuestion = IconLabel(Panel1, IconQuestion);
    ImWarning = IconLabel(Panel1, IconWarning);
    ImError = IconLabel(Panel1, IconError);

    // Created after the images, so it lies above them; without a background
    // of its own the visible image shows through.
    LblMens = new QLabel(Panel1);
    LblMens->setTextFormat(Qt::PlainText);
    LblMens->setWordWrap(true);
    LblMens->setAlignment(Qt::AlignCenter);
    LblMens->setFont(Arial(16, true));
    QPalette text = LblMens->palette();
    text.setColor(QPalette::WindowText, Qt::black);
    LblMens->setPalette(text);

    PnLista = new QWidget(Panel1);
    PnLista->setFont(Arial(13, true));
    PnLista->hide();
    CbLista = new TKRComboRadioBox(PnLista);
    CbLista->setEditable(false);
    CbLista->setItemDelegate(new FixedItemHeight(CbLista));

    PnBotoes = WhitePanel(this);
    BtnOK = new TKRButton(PnBotoes);
    BtnCancelar = new TKRButton(PnBotoes);
    for (TKRButton *b : {BtnOK, BtnCancelar}) {
        b->resize(103, 33);
        b->setFont(Arial(15, true));
        b->SetTheme(Cores);
    }
    BtnOK->move(212, 4);
    BtnOK->SetCaption(QStringLiteral("OK"));
    BtnCancelar->move(358, 4);
    BtnCancelar->SetCaption(QStringLiteral("NÃO (ESC)"));
    setTabOrder(BtnOK, BtnCancelar);
    connect(BtnOK, &TKRButton::clicked, this, &TFrmDialog::BtnOKClick);
    connect(BtnCancelar, &TKRButton::clicked, this, &TFrmDialog::BtnCancelarClick);

    LayoutPanels();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFrmDialog::LayoutPanels()
{
    PnTitulo->setGeometry(0, 0, width(), TitleHeight);
    PnBotoes->setGeometry(0, height() - ButtonStripHeight, width(), ButtonStripHeight);
    Panel1->setGeometry(0, TitleHeight, width(), height() - TitleHeight - ButtonStripHeight);
    LayoutMessageArea();
}

void TFrmDialog::LayoutMessageArea()
{
    // The list sits along the bottom with its margins; the text fills the rest.
    const int w = Panel1->width();
    int free = Panel1->height();
    if (!PnLista->isHidden()) {
        PnLista->setGeometry(10, free - 5 - 29, w - 20, 29);
        free -= 5 + 29 + 3;
    }
    CbLista->setGeometry(PnLista->rect());
    LblMens->setGeometry(3, 3, w - 6, free - 6);
}

void TFrmDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    LayoutPanels();
}

QString TFrmDialog::DisplayText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QString TFrmDialog::ElideLongWords(const QString &text, const QFontMetrics &metrics, int width)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        QStringList words = line.split(QLatin1Char(' '));
        for (QString &word : words) {
            if (metrics.horizontalAdvance(word) > width)
                word = metrics.elidedText(word, Qt::ElideMiddle, width);
        }
        line = words.join(QLatin1Char(' '));
    }
    return lines.join(QLatin1Char('\n'));
}

void TFrmDialog::Prepare(const MessageRequest &request)
{
    const TKRThemeColors scheme = SchemeOf(request.kind);
    // The same scheme keeps the stored colours; another one regenerates them.
    Cores->SetThemeColors(scheme);
    setWindowTitle(request.title);
    PnTitulo->SetCaption(request.title);
    FullText = DisplayText(request.text);
    const QString shownText = ElideLongWords(FullText, LblMens->fontMetrics(), LblMens->contentsRect().width());
    LblMens->setText(shownText);
    LblMens->setToolTip(shownText == FullText ? QString() : FullText);

    QLabel *shown = ImInfo;
    if (request.kind == dkQuestion || request.kind == dkWarningQuestion)
        shown = ImQuestion;
    else if (request.kind == dkWarning)
        shown = ImWarning;
    else if (request.kind == dkError)
        shown = ImError;
    for (QLabel *image : {ImInfo, ImQuestion, ImWarning, ImError})
        image->setVisible(image == shown);

    CbLista->clear();
    CbLista->addItems(request.items);
    CbLista->SetValues(request.values);
    CbLista->setCurrentIndex(-1);
    ListVisible = request.listVisible && !request.items.isEmpty();
    ListDefault = request.listDefault;

    if (request.kind == dkQuestion || request.kind == dkWarningQuestion)
        AlinhaAll();
    else
        AlinhaOK();
}

MessageOutcome TFrmDialog::Outcome() const
{
    MessageOutcome outcome;
    outcome.result = result() == 1 ? 1 : 2;
    outcome.selectedIndex = ListVisible ? CbLista->currentIndex() : -1;
    return outcome;
}

void TFrmDialog::AlinhaOK()
{
    TracePoint("TFrmDialog.AlinhaOK", "KRDIALOGFORM51");
    BtnOK->SetCaption(QStringLiteral("OK"));
    BtnOK->show();
    BtnCancelar->hide();
    BtnOK->move(RoundHalfEven((PnBotoes->width() - BtnOK->width()) / 2.0), BtnOK->y());
}

void TFrmDialog::AlinhaAll()
{
    TracePoint("TFrmDialog.AlinhaAll", "KRDIALOGFORM60");
    BtnOK->SetCaption(QStringLiteral("SIM"));
    BtnOK->show();
    BtnCancelar->show();
    BtnOK->move(152, BtnOK->y());
    BtnCancelar->move(288, BtnCancelar->y());
}

void TFrmDialog::BtnOKClick()
{
    TracePoint("TFrmDialog.BtnOKClick", "KRDIALOGFORM99");
    done(1);
}

void TFrmDialog::BtnCancelarClick()
{
    TracePoint("TFrmDialog.BtnCancelarClick", "KRDIALOGFORM105");
    done(2);
}

void TFrmDialog::FormKeyDown(int key)
{
    TracePoint("TFrmDialog.FormKeyDown", "KRDIALOGFORM112");
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (BtnCancelar->hasFocus())
            BtnCancelar->Click();
        else
            BtnOK->Click();
        break;
    case Qt::Key_Escape:
        if (!BtnCancelar->isHidden())
            BtnCancelar->Click();
        else
            close();
        break;
    default:
        break;
    }
}

void TFrmDialog::reject()
{
    done(2);
}

bool TFrmDialog::eventFilter(QObject *watched, QEvent *event)
{
    // The form sees every key before the control that has the focus; the key
    // is seen once, at that control, not again while it travels to parents.
    if (event->type() == QEvent::KeyPress && isVisible()) {
        QWidget *focus = QApplication::focusWidget();
        if (watched == (focus ? focus : this)) {
            const auto *key = static_cast<QKeyEvent *>(event);
            // As the system's own message boxes do; an elided path is whole
            // here.
            if (key->matches(QKeySequence::Copy)) {
                QApplication::clipboard()->setText(FullText);
                return true;
            }
            FormKeyDown(key->key());
            // A closed dialog has nothing left to hand the key to.
            return !isVisible();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFrmDialog::FormShow()
{
    TracePoint("TFrmDialog.FormShow", "KRDIALOGFORM135");
    LblMens->setAutoFillBackground(false);
    PnLista->setVisible(ListVisible);
    LayoutMessageArea();

    if (CbLista->count() > 0 && !ListDefault.isEmpty()) {
        int match = -1;
        const QStringList &values = CbLista->Values();
        for (int i = 0; i < CbLista->count() && i < values.size(); ++i) {
            if (values.at(i).compare(ListDefault, Qt::CaseInsensitive) == 0) {
                match = i;
                break;
            }
        }
        CbLista->setCurrentIndex(match);
    }

    {
        TKRArtistic scratch;
        Cores->PrepareArtistic(scratch);
    }

    const QPoint iconPos(RoundHalfEven((Panel1->width() - ImInfo->width()) / 2.0),
                         RoundHalfEven((Panel1->height() - ImInfo->height()) / 2.0));
    for (QLabel *image : {ImInfo, ImQuestion, ImWarning, ImError})
        image->move(iconPos);

    raise();
    activateWindow();
}

void TFrmDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    FormShow();
    if (ListVisible)
        CbLista->setFocus(Qt::OtherFocusReason);
    else
        BtnOK->setFocus(Qt::OtherFocusReason);
}

MessageOutcome PresentMessageDialog(const MessageRequest &request)
{
    TFrmDialog dialog;
    dialog.Prepare(request);
    dialog.exec();
    return dialog.Outcome();
}

void InstallMessageDialog()
{
    SetMessagePresenter(&PresentMessageDialog);
}
