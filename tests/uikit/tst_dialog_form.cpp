#include "uikit/kr_message_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
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
void WhenMessageShown(std::function<void(TKRMessageDialog *)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto *dialog = qobject_cast<TKRMessageDialog *>(QApplication::activeModalWidget());
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

class TestMessageDialog : public QObject
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

void TestMessageDialog::initTestCase()
{
    InstallMessageDialog();
}

void TestMessageDialog::cleanup()
{
    DialogListItems.clear();
    DialogListValues.clear();
    DialogListDefault.clear();
    DialogListChoice.clear();
}

void TestMessageDialog::buttonsOfEachKind_data()
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

void TestMessageDialog::buttonsOfEachKind()
{
    QFETCH(int, kind);
    QFETCH(QString, first);
    QFETCH(bool, secondShown);
    TKRMessageDialog dialog(Request(TDialogKind(kind)));
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.FirstButton()->text(), first);
    QCOMPARE(dialog.SecondButton()->isVisible(), secondShown);
    if (secondShown)
        QCOMPARE(dialog.SecondButton()->text(), QStringLiteral("NÃO (ESC)"));
    QVERIFY(!dialog.ListBox()->isVisible());
    QVERIFY(!dialog.IconLabel()->pixmap().isNull());
    dialog.done(2);
}

void TestMessageDialog::titleAndTextShownAsPassed()
{
    const QString text = QStringLiteral("Não foi possível conectar ao banco de dados ! <b>&amp;</b>");
    TKRMessageDialog dialog(Request(dkError, QStringLiteral("Erro ao conectar"), text));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Erro ao conectar"));
    QCOMPARE(dialog.TitleLabel()->text(), QStringLiteral("Erro ao conectar"));
    QVERIFY(dialog.TitleLabel()->font().pixelSize() > dialog.TextLabel()->font().pointSize());
    QCOMPARE(dialog.TextLabel()->text(), text);
    QCOMPARE(dialog.TextLabel()->textFormat(), Qt::PlainText);
    QVERIFY(dialog.TextLabel()->wordWrap());
    QCOMPARE(dialog.TextLabel()->alignment(), Qt::Alignment(Qt::AlignCenter));
}

void TestMessageDialog::carriageReturnStartsNewLine()
{
    const QString text = QStringLiteral("Ping realizado com sucesso!\rTempo de resposta: 3 ms");
    TKRMessageDialog dialog(Request(dkInformation, QStringLiteral("Sucesso"), text));
    QCOMPARE(dialog.TextLabel()->text(), QStringLiteral("Ping realizado com sucesso!\nTempo de resposta: 3 ms"));
    QCOMPARE(TKRMessageDialog::DisplayText(QStringLiteral("a\r\nb\nc\r\rd")), QStringLiteral("a\nb\nc\n\nd"));
}

void TestMessageDialog::emptyTitleAndText()
{
    TKRMessageDialog dialog(Request(dkWarning, QString(), QString()));
    QVERIFY(dialog.windowTitle().isEmpty());
    QVERIFY(dialog.TitleLabel()->text().isEmpty());
    QVERIFY(dialog.TextLabel()->text().isEmpty());
    QCOMPARE(dialog.FirstButton()->text(), QStringLiteral("OK"));
}

void TestMessageDialog::keysGiveResults_data()
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

void TestMessageDialog::keysGiveResults()
{
    QFETCH(int, kind);
    QFETCH(bool, focusSecond);
    QFETCH(int, key);
    QFETCH(int, result);
    TKRMessageDialog dialog(Request(TDialogKind(kind)));
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.open();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.FirstButton());
    if (focusSecond) {
        dialog.SecondButton()->setFocus();
        QCOMPARE(QApplication::focusWidget(), dialog.SecondButton());
    }
    Press(&dialog, Qt::Key(key));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(dialog.result(), result);
    QCOMPARE(dialog.Outcome().result, result);
    QVERIFY(!dialog.isVisible());
}

void TestMessageDialog::closeBoxGivesTwo()
{
    TKRMessageDialog dialog(Request(dkQuestion));
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.close());
    QCOMPARE(dialog.Outcome().result, 2);
}

void TestMessageDialog::mouseClicks()
{
    TKRMessageDialog yes(Request(dkQuestion));
    yes.open();
    QTest::mouseClick(yes.FirstButton(), Qt::LeftButton);
    QCOMPARE(yes.Outcome().result, 1);

    TKRMessageDialog no(Request(dkQuestion));
    no.open();
    QTest::mouseClick(no.SecondButton(), Qt::LeftButton);
    QCOMPARE(no.Outcome().result, 2);
}

void TestMessageDialog::listPreselectsFirstValueIgnoringCase()
{
    TKRMessageDialog dialog(ListRequest({QStringLiteral("Loja"), QStringLiteral("Matriz"), QStringLiteral("Filial")},
                                        {QStringLiteral("loja"), QStringLiteral("MATRIZ"), QStringLiteral("matriz")},
                                        QStringLiteral("Matriz")));
    QCOMPARE(dialog.ListBox()->count(), 3);
    QCOMPARE(dialog.ListBox()->currentIndex(), 1);
    QCOMPARE(dialog.ListBox()->currentText(), QStringLiteral("Matriz"));
}

void TestMessageDialog::listWithoutMatchOrDefaultSelectsNothing()
{
    TKRMessageDialog noMatch(ListRequest({QStringLiteral("A"), QStringLiteral("B")},
                                         {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("c")));
    QCOMPARE(noMatch.ListBox()->currentIndex(), -1);
    // An empty value must not be taken for an unset default.
    TKRMessageDialog noDefault(ListRequest({QStringLiteral("A"), QStringLiteral("B")},
                                           {QString(), QStringLiteral("b")}, QString()));
    QCOMPARE(noDefault.ListBox()->currentIndex(), -1);
    QCOMPARE(noDefault.Outcome().selectedIndex, -1);
}

void TestMessageDialog::listTakesFocus()
{
    TKRMessageDialog dialog(ListRequest({QStringLiteral("A")}, {QStringLiteral("a")}, QStringLiteral("a")));
    dialog.open();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QVERIFY(dialog.ListBox()->isVisible());
    QCOMPARE(QApplication::focusWidget(), dialog.ListBox());
    // Enter on the list confirms with the first button.
    Press(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.Outcome().result, 1);
    QCOMPARE(dialog.Outcome().selectedIndex, 0);
}

void TestMessageDialog::apiChoiceAfterConfirmingAPick()
{
    DialogListItems = {QStringLiteral("Primeira"), QStringLiteral("Segunda")};
    DialogListValues = {QStringLiteral("v1"), QStringLiteral("v2")};
    DialogListDefault = QStringLiteral("V1");
    WhenMessageShown([](TKRMessageDialog *d) {
        QCOMPARE(d->ListBox()->currentIndex(), 0);
        d->ListBox()->setCurrentIndex(1);
        Press(d, Qt::Key_Return);
    });
    QCOMPARE(ShowMessageDialog(QStringLiteral("Base"), QStringLiteral("Escolha"), dkQuestion, true), 1);
    QCOMPARE(DialogListChoice, QStringLiteral("v2"));
}

void TestMessageDialog::apiChoiceStaysDefaultWhenDeclined()
{
    DialogListItems = {QStringLiteral("Primeira"), QStringLiteral("Segunda")};
    DialogListValues = {QStringLiteral("v1"), QStringLiteral("v2")};
    DialogListDefault = QStringLiteral("v1");
    WhenMessageShown([](TKRMessageDialog *d) {
        d->ListBox()->setCurrentIndex(1);
        Press(d, Qt::Key_Escape);
    });
    QCOMPARE(ShowMessageDialog(QStringLiteral("Base"), QStringLiteral("Escolha"), dkQuestion, true), 2);
    QCOMPARE(DialogListChoice, QStringLiteral("v1"));

    WhenMessageShown([](TKRMessageDialog *d) {
        d->ListBox()->setCurrentIndex(1);
        d->SecondButton()->click();
    });
    QCOMPARE(ShowMessageDialog(QStringLiteral("Base"), QStringLiteral("Escolha"), dkQuestion, true), 2);
    QCOMPARE(DialogListChoice, QStringLiteral("v1"));
}

void TestMessageDialog::apiChoiceStaysDefaultWithoutSelection()
{
    DialogListItems = {QStringLiteral("Primeira")};
    DialogListValues = {QStringLiteral("v1")};
    DialogListDefault = QStringLiteral("nenhum");
    WhenMessageShown([](TKRMessageDialog *d) {
        QCOMPARE(d->ListBox()->currentIndex(), -1);
        d->FirstButton()->click();
    });
    QCOMPARE(ShowInfoMessage(QStringLiteral("Base"), QStringLiteral("Escolha"), true), 1);
    QCOMPARE(DialogListChoice, QStringLiteral("nenhum"));
}

void TestMessageDialog::apiEmptyListShowsNoList()
{
    DialogListDefault = QStringLiteral("padrão");
    DialogListChoice = QStringLiteral("antigo");
    bool listShown = true;
    WhenMessageShown([&listShown](TKRMessageDialog *d) {
        listShown = d->ListBox()->isVisible();
        QCOMPARE(QApplication::focusWidget(), d->FirstButton());
        Press(d, Qt::Key_Return);
    });
    QCOMPARE(ShowErrorMessage(QStringLiteral("Erro"), QStringLiteral("Sem opções"), true), 1);
    QVERIFY(!listShown);
    QCOMPARE(DialogListChoice, QStringLiteral("padrão"));
}

void TestMessageDialog::apiWithoutListModeLeavesChoiceAlone()
{
    DialogListItems = {QStringLiteral("Primeira")};
    DialogListValues = {QStringLiteral("v1")};
    DialogListChoice = QStringLiteral("antigo");
    bool listShown = true;
    WhenMessageShown([&listShown](TKRMessageDialog *d) {
        listShown = d->ListBox()->isVisible();
        Press(d, Qt::Key_Escape);
    });
    QCOMPARE(ShowInfoMessage(QStringLiteral("Conexão"), QStringLiteral("Conectado."), false), 2);
    QVERIFY(!listShown);
    QCOMPARE(DialogListChoice, QStringLiteral("antigo"));
}

QTEST_MAIN(TestMessageDialog)
#include "tst_message_dialog.moc"
