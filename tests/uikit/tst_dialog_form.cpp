#include "uikit/kr_dialog_form.h"

#include "base/kr_trace.h"
#include "system/alert_sound.h"
#include "system/app_env.h"
#include "uikit/kr_comboradiobox.h"
#include "uikit/kr_controls.h"
#include "uikit/kr_theme.h"

#include <QApplication>
#include <QClipboard>
#include <QRegularExpression>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {
MessageRequest Request(TDialogKind kind, const QString &title = QStringLiteral("Título"),
                       const QString &text = QStringLiteral("Texto"))
{
    MessageRequest r;
    r.title = title;
    r.text = text;
    r.kind = kind;
    return r;
}

MessageRequest ListRequest(const QStringList &items, const QStringList &values, const QString &listDefault)
{
    MessageRequest r = Request(dkQuestion, QStringLiteral("Escolha"), QStringLiteral("Qual base?"));
    r.listVisible = !items.isEmpty();
    r.items = items;
    r.values = values;
    r.listDefault = listDefault;
    return r;
}

// Keys go where a user's keys would: to the control that has the focus.
void Press(QWidget *dialog, Qt::Key key)
{
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
    QTest::keyClick(target, key);
}

// Acts on the modal message dialog once ShowMessageDialog has it on screen.
// A dialog the action leaves open is closed after a few seconds, so a broken
// key path fails the test instead of hanging it.
void WhenMessageShown(std::function<void(TFrmDialog *)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto *dialog = qobject_cast<TFrmDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        QTimer::singleShot(3000, dialog, [dialog] { dialog->done(2); });
        if (QTest::qWaitForWindowActive(dialog))
            act(dialog);
    });
    poll->start();
}
} // namespace

class TestDialogForm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void buttonsOfEachKind_data();
    void buttonsOfEachKind();
    void titleAndTextShownAsPassed();
    void carriageReturnStartsNewLine();
    void emptyTitleAndText();
    void longPathKeepsItsEndsAndStaysWhole();
    void keysGiveResults_data();
    void keysGiveResults();
    void closeBoxGivesTwo();
    void mouseClicks();
    void listPreselectsFirstValueIgnoringCase();
    void listWithoutMatchOrDefaultSelectsNothing();
    void listTakesFocus();
    void apiChoiceAfterConfirmingAPick();
    void apiChoiceStaysDefaultWhenDeclined();
    void apiChoiceStaysDefaultWithoutSelection();
    void apiEmptyListShowsNoList();
    void apiWithoutListModeLeavesChoiceAlone();
    void layoutSizesAndFonts();
    void listShortensMessageArea();
    void alinhaOKCentresRoundingHalfToEven();
    void alinhaAllKeepsFixedPlaces();
    void iconCentredBehindText();
    void coloursOfEachKind();
    void tracePointsInOrder();
    void soundOfEachKind_data();
    void soundOfEachKind();
};

void TestDialogForm::initTestCase()
{
    platform::SetAlertRecorder([](const platform::AlertDecision &) {});
    InstallMessageDialog();
}

void TestDialogForm::cleanup()
{
    DialogListItems.clear();
    DialogListValues.clear();
    DialogListDefault.clear();
    DialogListChoice.clear();
}

void TestDialogForm::buttonsOfEachKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("first");
    QTest::addColumn<bool>("secondShown");
    QTest::newRow("information") << int(dkInformation) << "OK" << false;
    QTest::newRow("question") << int(dkQuestion) << "SIM" << true;
    QTest::newRow("warning") << int(dkWarning) << "OK" << false;
    QTest::newRow("error") << int(dkError) << "OK" << false;
    QTest::newRow("warning question") << int(dkWarningQuestion) << "SIM" << true;
}

void TestDialogForm::buttonsOfEachKind()
{
    QFETCH(int, kind);
    QFETCH(QString, first);
    QFETCH(bool, secondShown);
    TFrmDialog dialog;
    dialog.Prepare(Request(TDialogKind(kind)));
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.BtnOK->Caption(), first);
    QCOMPARE(dialog.BtnCancelar->isVisible(), secondShown);
    if (secondShown)
        QCOMPARE(dialog.BtnCancelar->Caption(), QStringLiteral("NÃO (ESC)"));
    QVERIFY(!dialog.CbLista->isVisible());
    QLabel *icon = kind == dkInformation ? dialog.ImInfo
                   : kind == dkWarning ? dialog.ImWarning
                   : kind == dkError   ? dialog.ImError
                                       : dialog.ImQuestion;
    for (QLabel *image : {dialog.ImInfo, dialog.ImQuestion, dialog.ImWarning, dialog.ImError})
        QCOMPARE(image->isVisible(), image == icon);
    QCOMPARE(icon->size(), QSize(128, 128));
    dialog.done(2);
}

void TestDialogForm::titleAndTextShownAsPassed()
{
    const QString text = QStringLiteral("Não foi possível conectar ao banco de dados ! <b>&amp;</b>");
    TFrmDialog dialog;
    dialog.Prepare(Request(dkError, QStringLiteral("Erro ao conectar"), text));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Erro ao conectar"));
    QCOMPARE(dialog.PnTitulo->Caption(), QStringLiteral("Erro ao conectar"));
    QVERIFY(dialog.PnTitulo->font().pixelSize() > dialog.LblMens->font().pixelSize());
    QCOMPARE(dialog.LblMens->text(), text);
    QCOMPARE(dialog.LblMens->textFormat(), Qt::PlainText);
    QVERIFY(dialog.LblMens->wordWrap());
    QCOMPARE(dialog.LblMens->alignment(), Qt::Alignment(Qt::AlignCenter));
}

void TestDialogForm::carriageReturnStartsNewLine()
{
    const QString text = QStringLiteral("Ping realizado com sucesso!\rTempo de resposta: 3 ms");
    TFrmDialog dialog;
    dialog.Prepare(Request(dkInformation, QStringLiteral("Sucesso"), text));
    QCOMPARE(dialog.LblMens->text(), QStringLiteral("Ping realizado com sucesso!\nTempo de resposta: 3 ms"));
    QCOMPARE(TFrmDialog::DisplayText(QStringLiteral("a\r\nb\nc\r\rd")), QStringLiteral("a\nb\nc\n\nd"));
}

void TestDialogForm::longPathKeepsItsEndsAndStaysWhole()
{
    const QString text = QStringLiteral("I/O error for file \"C:\\NORVA\\SISTEMAS\\NORVACOMERCIO\\INSTALACAO_DA_"
                                        "LOJA_MATRIZ\\DADOS\\BACKUP_DIARIO\\DBEMPRESA.FDB\"\nError while trying to open");
    TFrmDialog dialog;
    dialog.Prepare(Request(dkError, QStringLiteral("Erro ao conectar"), text));
    const QString shown = dialog.LblMens->text();
    // Every word fits a line, with both ends of the path; the whole text is
    // in the tooltip and in what Ctrl+C copies.
    for (const QString &word : shown.split(QRegularExpression(QStringLiteral("[ \n]"))))
        QVERIFY2(dialog.LblMens->fontMetrics().horizontalAdvance(word) <= dialog.LblMens->contentsRect().width(),
                 qPrintable(word));
    QVERIFY2(shown.contains(QStringLiteral("\"C:\\NORVA")) && shown.contains(QStringLiteral("DBEMPRESA.FDB\"")),
             qPrintable(shown));
    QCOMPARE(dialog.LblMens->toolTip(), text);
    WhenMessageShown([](TFrmDialog *d) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
        Press(d, Qt::Key_Return);
    });
    ShowErrorMessage(QStringLiteral("Erro ao conectar"), text);
    QCOMPARE(QApplication::clipboard()->text(), text);
}

void TestDialogForm::emptyTitleAndText()
{
    TFrmDialog dialog;
    dialog.Prepare(Request(dkWarning, QString(), QString()));
    QVERIFY(dialog.windowTitle().isEmpty());
    QVERIFY(dialog.PnTitulo->Caption().isEmpty());
    QVERIFY(dialog.LblMens->text().isEmpty());
    QCOMPARE(dialog.BtnOK->Caption(), QStringLiteral("OK"));
}

void TestDialogForm::keysGiveResults_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("focusSecond");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("enter on OK") << int(dkInformation) << false << int(Qt::Key_Return) << 1;
    QTest::newRow("keypad enter on OK") << int(dkError) << false << int(Qt::Key_Enter) << 1;
    QTest::newRow("escape on error") << int(dkError) << false << int(Qt::Key_Escape) << 2;
    QTest::newRow("escape on information") << int(dkInformation) << false << int(Qt::Key_Escape) << 2;
    QTest::newRow("enter on SIM") << int(dkQuestion) << false << int(Qt::Key_Return) << 1;
    QTest::newRow("enter on NÃO") << int(dkQuestion) << true << int(Qt::Key_Return) << 2;
    QTest::newRow("escape on question") << int(dkWarningQuestion) << false << int(Qt::Key_Escape) << 2;
    QTest::newRow("space on OK") << int(dkWarning) << false << int(Qt::Key_Space) << 1;
    QTest::newRow("space on SIM") << int(dkQuestion) << false << int(Qt::Key_Space) << 1;
    QTest::newRow("space on NÃO") << int(dkWarningQuestion) << true << int(Qt::Key_Space) << 2;
}

void TestDialogForm::keysGiveResults()
{
    QFETCH(int, kind);
    QFETCH(bool, focusSecond);
    QFETCH(int, key);
    QFETCH(int, result);
    TFrmDialog dialog;
    dialog.Prepare(Request(TDialogKind(kind)));
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.open();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.BtnOK);
    if (focusSecond) {
        dialog.BtnCancelar->setFocus();
        QCOMPARE(QApplication::focusWidget(), dialog.BtnCancelar);
    }
    Press(&dialog, Qt::Key(key));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(dialog.result(), result);
    QCOMPARE(dialog.Outcome().result, result);
    QVERIFY(!dialog.isVisible());
}

void TestDialogForm::closeBoxGivesTwo()
{
    TFrmDialog dialog;
    dialog.Prepare(Request(dkQuestion));
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.close());
    QCOMPARE(dialog.Outcome().result, 2);
}

void TestDialogForm::mouseClicks()
{
    TFrmDialog yes;
    yes.Prepare(Request(dkQuestion));
    yes.open();
    QTest::mouseClick(yes.BtnOK, Qt::LeftButton);
    QCOMPARE(yes.Outcome().result, 1);

    TFrmDialog no;
    no.Prepare(Request(dkQuestion));
    no.open();
    QTest::mouseClick(no.BtnCancelar, Qt::LeftButton);
    QCOMPARE(no.Outcome().result, 2);
}

void TestDialogForm::listPreselectsFirstValueIgnoringCase()
{
    TFrmDialog dialog;
    dialog.Prepare(ListRequest({QStringLiteral("Loja"), QStringLiteral("Matriz"), QStringLiteral("Filial")},
                                        {QStringLiteral("loja"), QStringLiteral("MATRIZ"), QStringLiteral("matriz")},
                                        QStringLiteral("Matriz")));
    dialog.open();
    QCOMPARE(dialog.CbLista->count(), 3);
    QCOMPARE(dialog.CbLista->currentIndex(), 1);
    QCOMPARE(dialog.CbLista->currentText(), QStringLiteral("Matriz"));
}

void TestDialogForm::listWithoutMatchOrDefaultSelectsNothing()
{
    TFrmDialog noMatch;
    noMatch.Prepare(ListRequest({QStringLiteral("A"), QStringLiteral("B")},
                                         {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("c")));
    noMatch.open();
    QCOMPARE(noMatch.CbLista->currentIndex(), -1);
    // An empty value must not be taken for an unset default.
    TFrmDialog noDefault;
    noDefault.Prepare(ListRequest({QStringLiteral("A"), QStringLiteral("B")},
                                           {QString(), QStringLiteral("b")}, QString()));
    noDefault.open();
    QCOMPARE(noDefault.CbLista->currentIndex(), -1);
    QCOMPARE(noDefault.Outcome().selectedIndex, -1);
}

void TestDialogForm::listTakesFocus()
{
    TFrmDialog dialog;
    dialog.Prepare(ListRequest({QStringLiteral("A")}, {QStringLiteral("a")}, QStringLiteral("a")));
    dialog.open();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QVERIFY(dialog.CbLista->isVisible());
    QCOMPARE(QApplication::focusWidget(), dialog.CbLista);
    // Enter on the list confirms with the first button.
    Press(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.Outcome().result, 1);
    QCOMPARE(dialog.Outcome().selectedIndex, 0);
}

void TestDialogForm::apiChoiceAfterConfirmingAPick()
{
    DialogListItems = {QStringLiteral("Primeira"), QStringLiteral("Segunda")};
    DialogListValues = {QStringLiteral("v1"), QStringLiteral("v2")};
    DialogListDefault = QStringLiteral("V1");
    WhenMessageShown([](TFrmDialog *d) {
        QCOMPARE(d->CbLista->currentIndex(), 0);
        d->CbLista->setCurrentIndex(1);
        Press(d, Qt::Key_Return);
    });
    QCOMPARE(ShowMessageDialog(QStringLiteral("Base"), QStringLiteral("Escolha"), dkQuestion, true), 1);
    QCOMPARE(DialogListChoice, QStringLiteral("v2"));
}

void TestDialogForm::apiChoiceStaysDefaultWhenDeclined()
{
    DialogListItems = {QStringLiteral("Primeira"), QStringLiteral("Segunda")};
    DialogListValues = {QStringLiteral("v1"), QStringLiteral("v2")};
    DialogListDefault = QStringLiteral("v1");
    WhenMessageShown([](TFrmDialog *d) {
        d->CbLista->setCurrentIndex(1);
        Press(d, Qt::Key_Escape);
    });
    QCOMPARE(ShowMessageDialog(QStringLiteral("Base"), QStringLiteral("Escolha"), dkQuestion, true), 2);
    QCOMPARE(DialogListChoice, QStringLiteral("v1"));

    WhenMessageShown([](TFrmDialog *d) {
        d->CbLista->setCurrentIndex(1);
        d->BtnCancelar->Click();
    });
    QCOMPARE(ShowMessageDialog(QStringLiteral("Base"), QStringLiteral("Escolha"), dkQuestion, true), 2);
    QCOMPARE(DialogListChoice, QStringLiteral("v1"));
}

void TestDialogForm::apiChoiceStaysDefaultWithoutSelection()
{
    DialogListItems = {QStringLiteral("Primeira")};
    DialogListValues = {QStringLiteral("v1")};
    DialogListDefault = QStringLiteral("nenhum");
    WhenMessageShown([](TFrmDialog *d) {
        QCOMPARE(d->CbLista->currentIndex(), -1);
        d->BtnOK->Click();
    });
    QCOMPARE(ShowInfoMessage(QStringLiteral("Base"), QStringLiteral("Escolha"), true), 1);
    QCOMPARE(DialogListChoice, QStringLiteral("nenhum"));
}

void TestDialogForm::apiEmptyListShowsNoList()
{
    DialogListDefault = QStringLiteral("padrão");
    DialogListChoice = QStringLiteral("antigo");
    bool listShown = true;
    WhenMessageShown([&listShown](TFrmDialog *d) {
        listShown = d->CbLista->isVisible();
        QCOMPARE(QApplication::focusWidget(), d->BtnOK);
        Press(d, Qt::Key_Return);
    });
    QCOMPARE(ShowErrorMessage(QStringLiteral("Erro"), QStringLiteral("Sem opções"), true), 1);
    QVERIFY(!listShown);
    QCOMPARE(DialogListChoice, QStringLiteral("padrão"));
}

void TestDialogForm::apiWithoutListModeLeavesChoiceAlone()
{
    DialogListItems = {QStringLiteral("Primeira")};
    DialogListValues = {QStringLiteral("v1")};
    DialogListChoice = QStringLiteral("antigo");
    bool listShown = true;
    WhenMessageShown([&listShown](TFrmDialog *d) {
        listShown = d->CbLista->isVisible();
        Press(d, Qt::Key_Escape);
    });
    QCOMPARE(ShowInfoMessage(QStringLiteral("Conexão"), QStringLiteral("Conectado."), false), 2);
    QVERIFY(!listShown);
    QCOMPARE(DialogListChoice, QStringLiteral("antigo"));
}

void TestDialogForm::layoutSizesAndFonts()
{
    TFrmDialog d;
    d.Prepare(Request(dkInformation));
    QCOMPARE(d.size(), QSize(527, 372));
    QCOMPARE(d.PnTitulo->geometry(), QRect(0, 0, 527, 30));
    QCOMPARE(d.PnTitulo->font().pixelSize(), 19);
    QVERIFY(d.PnTitulo->font().bold());
    QCOMPARE(d.PnTitulo->focusPolicy(), Qt::NoFocus);
    QCOMPARE(d.Panel1->geometry(), QRect(0, 30, 527, 300));
    QCOMPARE(d.Panel1->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(d.PnBotoes->geometry(), QRect(0, 330, 527, 42));
    QCOMPARE(d.PnBotoes->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(d.LblMens->geometry(), QRect(3, 3, 521, 294));
    QCOMPARE(d.LblMens->font().pixelSize(), 16);
    QVERIFY(d.LblMens->font().bold());
    QVERIFY(!d.LblMens->autoFillBackground());
    for (TKRButton *b : {d.BtnOK, d.BtnCancelar}) {
        QCOMPARE(b->size(), QSize(103, 33));
        QCOMPARE(b->y(), 4);
        QCOMPARE(b->font().pixelSize(), 15);
        QCOMPARE(b->Theme(), d.Cores);
    }
    QCOMPARE(d.PnTitulo->Theme(), d.Cores);
    QVERIFY(d.Cores->NoRead());
}

void TestDialogForm::listShortensMessageArea()
{
    TFrmDialog d;
    d.Prepare(ListRequest({QStringLiteral("A")}, {QStringLiteral("a")}, QString()));
    d.open();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.PnLista->geometry(), QRect(10, 266, 507, 29));
    QCOMPARE(d.CbLista->geometry(), QRect(0, 0, 507, 29));
    QCOMPARE(d.LblMens->geometry(), QRect(3, 3, 521, 257));
    QVERIFY(!d.CbLista->isEditable());
    d.done(2);
}

void TestDialogForm::alinhaOKCentresRoundingHalfToEven()
{
    TFrmDialog d;
    d.AlinhaOK();
    QCOMPARE(d.BtnOK->x(), 212); // (527 - 103) / 2
    QCOMPARE(d.BtnOK->Caption(), QStringLiteral("OK"));
    QVERIFY(d.BtnCancelar->isHidden());
    d.PnBotoes->resize(528, 42);
    d.AlinhaOK();
    QCOMPARE(d.BtnOK->x(), 212); // 212.5
    d.PnBotoes->resize(530, 42);
    d.AlinhaOK();
    QCOMPARE(d.BtnOK->x(), 214); // 213.5
}

void TestDialogForm::alinhaAllKeepsFixedPlaces()
{
    TFrmDialog d;
    d.AlinhaOK();
    d.AlinhaAll();
    QCOMPARE(d.BtnOK->Caption(), QStringLiteral("SIM"));
    QVERIFY(!d.BtnOK->isHidden());
    QVERIFY(!d.BtnCancelar->isHidden());
    QCOMPARE(d.BtnOK->x(), 152);
    QCOMPARE(d.BtnCancelar->x(), 288);
    d.PnBotoes->resize(800, 42);
    d.AlinhaAll();
    QCOMPARE(d.BtnOK->x(), 152);
    QCOMPARE(d.BtnCancelar->x(), 288);
}

void TestDialogForm::iconCentredBehindText()
{
    TFrmDialog d;
    d.Prepare(Request(dkError, QStringLiteral("Erro"), QString(400, QLatin1Char('x')).replace(QStringLiteral("xxxxxxx"), QStringLiteral("palavra "))));
    d.open();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    for (QLabel *image : {d.ImInfo, d.ImQuestion, d.ImWarning, d.ImError})
        QCOMPARE(image->pos(), QPoint(200, 86)); // 199.5 rounds to even
    // The text lies above the image, and the image shows through it.
    QVERIFY(d.Panel1->children().indexOf(d.LblMens) > d.Panel1->children().indexOf(d.ImError));
    const QImage shot = d.Panel1->grab().toImage();
    // A few pixels around the probe: another face's glyphs may cover one of them.
    bool badgeSeen = false;
    for (int dy = -3; dy <= 3; ++dy) {
        for (int dx = -3; dx <= 3; ++dx) {
            const QRgb badge = shot.pixel(200 + 20 + dx, 86 + 64 + dy);
            badgeSeen = badgeSeen || (qRed(badge) > qBlue(badge) + 20 && qGray(badge) > 180);
        }
    }
    QVERIFY2(badgeSeen, "the pale red badge shows behind the text");
    // A long text wraps inside the message area without moving it.
    QCOMPARE(d.LblMens->geometry(), QRect(3, 3, 521, 294));
    d.done(2);
}

void TestDialogForm::coloursOfEachKind()
{
    TFrmDialog info;
    info.Prepare(Request(dkInformation));
    QCOMPARE(info.Cores->ThemeColors(), tcAzul);
    QCOMPARE(info.Cores->NormalColors().GradientColorStart, MakeColorRef(217, 236, 255));
    QCOMPARE(info.Cores->HotColors().BorderColorEnd, MakeColorRef(62, 158, 255));
    QCOMPARE(info.Cores->FocusColors().SelColorEnd, MakeColorRef(0, 106, 213));

    const QList<QPair<TDialogKind, TKRThemeColors>> kinds{
        {dkQuestion, tcVerde}, {dkWarning, tcAmarelo}, {dkError, tcVermelho}, {dkWarningQuestion, tcAmarelo}};
    for (const auto &[kind, scheme] : kinds) {
        TFrmDialog d;
        d.Prepare(Request(kind));
        QCOMPARE(d.Cores->ThemeColors(), scheme);
        TKRArtistic expected;
        GenerateSchemeColors(expected, scheme);
        QCOMPARE(d.Cores->NormalColors(), expected.NormalColors);
        QCOMPARE(d.Cores->HotColors(), expected.HotColors);
    }
}

void TestDialogForm::tracePointsInOrder()
{
    // The painter traces too; the log is read before the event loop paints.
    TraceEnabled = true;
    TraceLog.clear();
    auto codes = [] {
        QStringList out;
        for (const QString &line : TraceLog)
            if (line.contains(QStringLiteral("KRDIALOGFORM")))
                out << line.section(QStringLiteral("CODIGO: "), 1);
        TraceLog.clear();
        return out;
    };
    {
        TFrmDialog d;
        d.Prepare(Request(dkInformation));
        QCOMPARE(codes(), QStringList({"KRDIALOGFORM51"}));
        d.open();
        QCOMPARE(codes(), QStringList({"KRDIALOGFORM135"}));
        QVERIFY(QTest::qWaitForWindowActive(&d));
        TraceLog.clear();
        Press(&d, Qt::Key_Return);
        QCOMPARE(codes(), QStringList({"KRDIALOGFORM112", "KRDIALOGFORM99"}));
        QCOMPARE(d.result(), 1);
    }
    {
        TFrmDialog d;
        d.Prepare(Request(dkQuestion));
        QCOMPARE(codes(), QStringList({"KRDIALOGFORM60"}));
        d.open();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        TraceLog.clear();
        Press(&d, Qt::Key_Escape);
        QCOMPARE(codes(), QStringList({"KRDIALOGFORM112", "KRDIALOGFORM105"}));
        QCOMPARE(d.result(), 2);
    }
    TraceEnabled = false;
    TraceLog.clear();
}

void TestDialogForm::soundOfEachKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<uint>("beep");
    QTest::newRow("information") << int(dkInformation) << "info.wav" << uint(platform::BeepOk);
    QTest::newRow("question") << int(dkQuestion) << "questao.wav" << uint(platform::BeepAsterisk);
    QTest::newRow("warning") << int(dkWarning) << "exclama.wav" << uint(platform::BeepExclamation);
    QTest::newRow("error") << int(dkError) << "erro.wav" << uint(platform::BeepHand);
    QTest::newRow("warning question") << int(dkWarningQuestion) << "exclama.wav" << uint(platform::BeepExclamation);
}

void TestDialogForm::soundOfEachKind()
{
    QFETCH(int, kind);
    QFETCH(QString, file);
    QFETCH(uint, beep);
    if (platform::RunningUnderDebugger())
        QSKIP("under a debugger the sounds come from the drive's SISTEMAS folder");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    SetExecutableFolderForTesting(folder);
    std::vector<platform::AlertDecision> heard;
    platform::SetAlertRecorder([&](const platform::AlertDecision &d) { heard.push_back(d); });
    // The sound starts before the dialog is on screen.
    size_t heardBeforeDialog = 0;
    SetMessagePresenter([&](const MessageRequest &) {
        heardBeforeDialog = heard.size();
        return MessageOutcome{1, -1};
    });
    // Exactly one alert per message, heard before the dialog; anything else
    // comes back as an impossible decision.
    auto show = [&] {
        heard.clear();
        heardBeforeDialog = 0;
        ShowMessageDialog(QStringLiteral("Som"), QStringLiteral("Texto"), TDialogKind(kind));
        if (heard.size() != 1 || heardBeforeDialog != 1)
            return platform::AlertDecision{platform::AlertDecision::Output(-1), {}, 0xFFFF};
        return heard.front();
    };
    auto create = [&](const QString &name) { return QFile(folder + name).open(QIODevice::WriteOnly); };

    // Three of the four files: every kind beeps, even one whose own file is there.
    for (const char *name : {"erro.wav", "exclama.wav", "questao.wav"})
        QVERIFY(create(QLatin1String(name)));
    platform::AlertDecision d = show();
    QCOMPARE(d.output, platform::AlertDecision::Beep);
    QCOMPARE(d.beep, beep);

    QVERIFY(create(QStringLiteral("info.wav")));
    d = show();
    QCOMPARE(d.output, platform::AlertDecision::PlayFile);
    QCOMPARE(QString::fromStdU16String(d.file.u16string()), QDir::toNativeSeparators(folder + file));

    QVERIFY(create(QStringLiteral("nosound.dat")));
    QCOMPARE(show().output, platform::AlertDecision::Silence);
    QVERIFY(QFile::remove(folder + QStringLiteral("info.wav")));
    QCOMPARE(show().output, platform::AlertDecision::Silence);

    platform::SetAlertRecorder(nullptr);
    SetExecutableFolderForTesting(QString());
    InstallMessageDialog();
}

QTEST_MAIN(TestDialogForm)
#include "tst_dialog_form.moc"
