#include "uikit/kr_dialog_form.h"

#include "uikit/kr_comboradiobox.h"
#include "uikit/kr_controls.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
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
};

void TestDialogForm::initTestCase()
{
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

QTEST_MAIN(TestDialogForm)
#include "tst_dialog_form.moc"
