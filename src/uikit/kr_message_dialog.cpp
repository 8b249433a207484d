#include "uikit/kr_message_dialog.h"

#include "uikit/kr_trace.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr int DialogWidth = 460;
constexpr int DialogMaxHeight = 520;

QStyle::StandardPixmap IconOf(TDialogKind kind)
{
    switch (kind) {
    case dkQuestion:
    case dkWarningQuestion:
        return QStyle::SP_MessageBoxQuestion;
    case dkWarning:
        return QStyle::SP_MessageBoxWarning;
    case dkError:
        return QStyle::SP_MessageBoxCritical;
    case dkInformation:
        break;
    }
    return QStyle::SP_MessageBoxInformation;
}

bool HasTwoButtons(TDialogKind kind)
{
    return kind == dkQuestion || kind == dkWarningQuestion;
}
} // namespace

TKRMessageDialog::TKRMessageDialog(const MessageRequest &request, QWidget *parent)
    : QDialog(parent)
{
    TracePoint("TKRMessageDialog.Create", "KRMSGDIALOG45");
    setWindowTitle(request.title);
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    LblTitulo = new QLabel(request.title, this);
    LblTitulo->setTextFormat(Qt::PlainText);
    LblTitulo->setAlignment(Qt::AlignCenter);
    QFont titleFont = LblTitulo->font();
    titleFont.setBold(true);
    titleFont.setPixelSize(18);
    LblTitulo->setFont(titleFont);

    LblIcone = new QLabel(this);
    LblIcone->setPixmap(style()->standardIcon(IconOf(request.kind), nullptr, this).pixmap(48, 48));
    LblIcone->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    // Shown exactly as passed: no rich text, no mnemonics, no eliding; what
    // does not fit is clipped by the window's maximum height.
    LblMensagem = new QLabel(DisplayText(request.text), this);
    LblMensagem->setTextFormat(Qt::PlainText);
    LblMensagem->setWordWrap(true);
    LblMensagem->setAlignment(Qt::AlignCenter);
    LblMensagem->setMinimumHeight(60);
    LblMensagem->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    CbLista = new QComboBox(this);
    m_listVisible = request.listVisible && !request.items.isEmpty();
    if (m_listVisible) {
        CbLista->addItems(request.items);
        PreselectDefault(request.values, request.listDefault);
    }
    CbLista->setVisible(m_listVisible);

    BtnPrimeiro = new QPushButton(this);
    BtnSegundo = new QPushButton(this);
    // Enter is decided by the dialog itself (see keyPressEvent), not by Qt's
    // default-button rules.
    for (QPushButton *b : {BtnPrimeiro, BtnSegundo}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setMinimumWidth(110);
    }
    if (HasTwoButtons(request.kind)) {
        BtnPrimeiro->setText(QStringLiteral("SIM"));
        BtnSegundo->setText(QStringLiteral("NÃO (ESC)"));
    } else {
        BtnPrimeiro->setText(QStringLiteral("OK"));
        BtnSegundo->hide();
    }
    connect(BtnPrimeiro, &QPushButton::clicked, this, [this] { done(1); });
    connect(BtnSegundo, &QPushButton::clicked, this, [this] { done(2); });

    auto *body = new QHBoxLayout;
    body->addWidget(LblIcone);
    body->addWidget(LblMensagem, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnPrimeiro);
    buttons->addWidget(BtnSegundo);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LblTitulo);
    layout->addLayout(body, 1);
    layout->addWidget(CbLista);
    layout->addLayout(buttons);

    setFixedWidth(DialogWidth);
    setMaximumHeight(DialogMaxHeight);
}

QString TKRMessageDialog::DisplayText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void TKRMessageDialog::PreselectDefault(const QStringList &values, const QString &listDefault)
{
    CbLista->setCurrentIndex(-1);
    if (listDefault.isEmpty())
        return;
    const qsizetype n = qMin(values.size(), qsizetype(CbLista->count()));
    for (qsizetype i = 0; i < n; ++i) {
        if (values.at(i).compare(listDefault, Qt::CaseInsensitive) == 0) {
            CbLista->setCurrentIndex(int(i));
            return;
        }
    }
}

MessageOutcome TKRMessageDialog::Outcome() const
{
    MessageOutcome outcome;
    outcome.result = result() == 1 ? 1 : 2;
    outcome.selectedIndex = m_listVisible ? CbLista->currentIndex() : -1;
    return outcome;
}

void TKRMessageDialog::reject()
{
    done(2);
}

void TKRMessageDialog::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (BtnSegundo->isVisible() && BtnSegundo->hasFocus())
            BtnSegundo->click();
        else
            BtnPrimeiro->click();
        return;
    case Qt::Key_Escape:
        if (BtnSegundo->isVisible())
            BtnSegundo->click();
        else
            done(2);
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TKRMessageDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_listVisible)
        CbLista->setFocus(Qt::OtherFocusReason);
    else
        BtnPrimeiro->setFocus(Qt::OtherFocusReason);
}

void InstallMessageDialog()
{
    SetMessagePresenter([](const MessageRequest &request) {
        TKRMessageDialog dialog(request, QApplication::activeWindow());
        dialog.exec();
        return dialog.Outcome();
    });
}
