#include "app/form_principal.h"
#include "app/session_view.h"
#include "app/tray_tooltip.h"
#include "base/kr_guard.h"
#include "base/kr_trace.h"
#include "engine/event_log.h"
#include "system/app_env.h"
#include "system/kr_message.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#ifdef Q_OS_WIN
#include <atomic>
#include <thread>

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>
#endif

class TestFormPrincipal : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void colourValuesAreBgr();
    void windowFrame();
    void textsAndFonts();
    void fieldCaptions();
    void timerAndTrayIcon();

    void escapeClosesFromAField();
    void escapeSavesTheEditedFieldFirst();
    void functionKeysRunTheirActionOnce_data();
    void functionKeysRunTheirActionOnce();
    void functionKeysOnDisabledButtonsAreIgnored();
    void closingByTheSystemMenuEndsTheProgram();

    void hideSwitch_data();
    void hideSwitch();
    void hideSwitchWithoutTrayStartsMinimised();

    void trayDoubleClickWhileVisibleChangesNothing();
    void trayDoubleClickRestoresHiddenWindow();
    void minimiseHidesToTray();
    void minimiseWithoutTrayKeepsWindowReachable();
    void minimiseBeforeHandlerAttachedKeepsWindow();

    void trayMenuOffersWhatApplies();
    void trayMenuConnectsAndDisconnectsAsF2AndF3Do();
    void trayMenuConnectIsRefusedAsF2Is();
    void trayMenuOpenBringsTheWindowBack();
    void trayMenuQuitEndsAsCloseDoes();
    void trayMenuOpensTheLogWithTheSystemViewer();
    void trayMenuOpensTheLogWithoutAViewerForItsType();
    void trayTooltipTellsTheFacts();
    void stateAtAGlanceNeverContradicts();
    void trayMenuSaysWhenTheViewerFails();

private:
    std::unique_ptr<TFrmPrincipal> ShownForm();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFrmPrincipal> m_form;
    QStringList m_messages;
    QStringList m_errors;
};

void TestFormPrincipal::initTestCase()
{
    // No message or error may open a modal window in these tests.
    SetMessagePresenter([this](const MessageRequest &r) {
        m_messages << r.title + QStringLiteral(": ") + r.text;
        return MessageOutcome{};
    });
    SetTopLevelErrorDisplay([this](const QString &message) { m_errors << message; });
}

void TestFormPrincipal::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    SetExecutableFolderForTesting(m_dir->path());
    SetArgumentsForTesting({});
    TFrmPrincipal::SetTrayAvailableForTesting(true);
    m_messages.clear();
    m_errors.clear();
    m_form = std::make_unique<TFrmPrincipal>(nullptr, false);
}

void TestFormPrincipal::cleanup()
{
    m_form.reset();
    TFrmPrincipal::SetTrayAvailableForTesting(std::nullopt);
    SetArgumentsForTesting({});
    SetExecutableFolderForTesting(QString());
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
}

std::unique_ptr<TFrmPrincipal> TestFormPrincipal::ShownForm()
{
    auto form = std::move(m_form);
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("main window did not become active");
    return form;
}

void TestFormPrincipal::colourValuesAreBgr()
{
    QCOMPARE(ColorFromBgr(2631720), QColor(40, 40, 40));
    QCOMPARE(ColorFromBgr(179), QColor(179, 0, 0));
    QCOMPARE(ColorFromBgr(168), QColor(168, 0, 0));
    QCOMPARE(ColorFromBgr(42579), QColor(83, 166, 0));
    QCOMPARE(ColorFromBgr(0x00FF8000), QColor(0, 128, 255));
}

void TestFormPrincipal::windowFrame()
{
    TFrmPrincipal &f = *m_form;
    QCOMPARE(f.windowTitle(), QStringLiteral("Integração com Catracas Ovrex/Miravel - v1.4"));
    QCOMPARE(f.size(), QSize(556, 575));
    QCOMPARE(f.minimumSize(), f.maximumSize());
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(f.windowFlags() & Qt::WindowSystemMenuHint);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(f.geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(f.geometry().center().y() - screen.center().y()) <= 1);
    QVERIFY(!f.isVisible()); // shown by the program entry, not by creation
}

void TestFormPrincipal::textsAndFonts()
{
    TFrmPrincipal &f = *m_form;
    QCOMPARE(f.PnTitulo->text(), QStringLiteral("Integração com Catracas Ovrex/Miravel"));
    QCOMPARE(f.PnTitulo->palette().color(QPalette::Window), QColor(40, 40, 40));
    QCOMPARE(f.PnTitulo->palette().color(QPalette::WindowText), QColor(Qt::white));
    QVERIFY(f.PnTitulo->font().bold());
    QCOMPARE(f.PnTitulo->font().pixelSize(), 16);

    QCOMPARE(f.LblConectado->text(), QStringLiteral("INTEGRADO COM: NÃO IDENTIFICADO"));
    QCOMPARE(f.CkInicia->text(), QStringLiteral("Iniciar com o Windows (requer permissão de administrador)"));
    QVERIFY(!f.CkInicia->isChecked());

    QCOMPARE(f.LblStatus->text(), QStringLiteral("AGUARDANDO"));
    QVERIFY(f.LblStatus->font().bold());
    QCOMPARE(f.LblStatus->font().pixelSize(), 33);
    QVERIFY(f.LblStatus->alignment() & Qt::AlignHCenter);

    QCOMPARE(f.LblObservacao->text(),
             QStringLiteral("OBSERVAÇÃO IMPORTANTE: a sincronização com a base de dados da catraca é feita a cada 2 "
                            "segundos."));
    QVERIFY(f.LblObservacao->font().bold());
    QVERIFY(f.LblObservacao->wordWrap());
    QCOMPARE(f.LblObservacao->palette().color(QPalette::WindowText), QColor(179, 0, 0));
    QVERIFY(f.LblObservacoes->text().startsWith(QStringLiteral("Observações: caso marque a opção")));
    QVERIFY(f.LblObservacoes->text().contains(QStringLiteral("para dar tempo de o ínicio do Firebird ocorrer")));
    QVERIFY(f.LblObservacoes->wordWrap());
    QCOMPARE(f.LblMemoria->text(), QStringLiteral("aguardando..."));

    QCOMPARE(f.BtnConectar->text(), QStringLiteral("Conectar F2"));
    QCOMPARE(f.BtnDesconectar->text(), QStringLiteral("Desconectar F3"));
    QCOMPARE(f.BtnFechar->text(), QStringLiteral("Fechar ESC"));
    for (QPushButton *b : {f.BtnConectar, f.BtnDesconectar, f.BtnFechar}) {
        QVERIFY(!b->icon().isNull());
        QVERIFY(b->isEnabled());
    }
    // Right-aligned, in this order.
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QVERIFY(f.BtnConectar->x() < f.BtnDesconectar->x());
    QVERIFY(f.BtnDesconectar->x() < f.BtnFechar->x());
    QVERIFY(f.BtnFechar->geometry().right() > f.width() - 40);
}

void TestFormPrincipal::fieldCaptions()
{
    TFrmPrincipal &f = *m_form;
    const std::pair<QString, QLineEdit *> expected[] = {
        {QStringLiteral("SERVIDOR:"), f.EdtSRV},   {QStringLiteral("PORTA:"), f.EdtPOR},
        {QStringLiteral("BASE DADOS:"), f.EdtBDA}, {QStringLiteral("USUÁRIO:"), f.EdtUSU},
        {QStringLiteral("SENHA:"), f.EdtSEN},
    };
    const QList<QLabel *> labels = f.findChildren<QLabel *>();
    for (const auto &[caption, edit] : expected) {
        QVERIFY(edit->text().isEmpty());
        const auto it = std::find_if(labels.begin(), labels.end(), [edit](QLabel *l) { return l->buddy() == edit; });
        QVERIFY2(it != labels.end(), qPrintable(caption));
        QCOMPARE((*it)->text(), caption);
    }
    QCOMPARE(f.EdtSEN->echoMode(), QLineEdit::Normal);
    QCOMPARE(f.EdtSRV->objectName(), QStringLiteral("EdtSRV"));
}

void TestFormPrincipal::timerAndTrayIcon()
{
    // The cycle's timer belongs to the engine, which starts it once the ERP
    // is known.
    const auto *timer = m_form->Sync.Engine()->findChild<QTimer *>(QStringLiteral("TMSincro"));
    QVERIFY(timer);
    QCOMPARE(TSyncEngine::TickMs, 2000);
    QCOMPARE(m_form->TI->toolTip().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Catraca Kolde"));
    QVERIFY(!m_form->TI->icon().isNull());
}

void TestFormPrincipal::escapeClosesFromAField()
{
    auto form = ShownForm();
    QSignalSpy closed(form.get(), &TFrmPrincipal::Closed);
    form->EdtBDA->setFocus();
    QCOMPARE(QApplication::focusWidget(), form->EdtBDA);
    QTest::keyClick(form->EdtBDA, Qt::Key_Escape, Qt::ShiftModifier);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!form->isVisible());
}

void TestFormPrincipal::escapeSavesTheEditedFieldFirst()
{
    auto form = ShownForm();
    QSignalSpy closed(form.get(), &TFrmPrincipal::Closed);
    int exits = 0;
    bool visibleAtExit = false;
    connect(form->EdtUSU, &QLineEdit::editingFinished, this, [&] {
        ++exits;
        visibleAtExit = form->isVisible();
    });
    form->EdtUSU->setFocus();
    // Typed one by one: the accented letter cannot go through keyClicks.
    for (const QChar ch : QStringLiteral("joão")) {
        QTest::sendKeyEvent(QTest::Click, form->EdtUSU, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
    QCOMPARE(form->EdtUSU->text(), QStringLiteral("joão"));
    QTest::keyClick(form->EdtUSU, Qt::Key_Escape);
    QCOMPARE(exits, 1);
    QVERIFY(visibleAtExit);
    QCOMPARE(closed.count(), 1);
}

void TestFormPrincipal::functionKeysRunTheirActionOnce_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("button");
    // Without dbxconnections.ini a connect ends in its failure box.
    QTest::newRow("F2") << int(Qt::Key_F2) << "BtnConectar";
    QTest::newRow("F3") << int(Qt::Key_F3) << "BtnDesconectar";
}

void TestFormPrincipal::functionKeysRunTheirActionOnce()
{
    QFETCH(int, key);
    QFETCH(QString, button);
    auto form = ShownForm();
    form->EdtSRV->setFocus();
    int actions = 0;
    if (key == Qt::Key_F2)
        connect(form->Sync.Engine(), &TSyncEngine::Failure, form.get(), [&actions] { ++actions; });
    else
        connect(form->Sync.Engine(), &TSyncEngine::TrayStateChanged, form.get(), [&actions] { ++actions; });
    // The action itself moves the focus on (an empty field, a button that
    // gets disabled): its first move is to its own button.
    QStringList focusTrail;
    const auto trail = connect(qApp, &QApplication::focusChanged, this, [&](QWidget *, QWidget *now) {
        if (now)
            focusTrail << now->objectName();
    });
    // Sent to a field, whose parents the key would otherwise travel through.
    QTest::keyClick(form->EdtSRV, Qt::Key(key));
    disconnect(trail);
    QTRY_COMPARE(actions, 1);
    QTest::qWait(200);
    QCOMPARE(actions, 1);
    QVERIFY(!focusTrail.isEmpty());
    QCOMPARE(focusTrail.first(), button);
    QVERIFY(form->isVisible());
    // F2 here has no dbxconnections.ini to connect with; that error is the
    // connect tests' business.
    if (form->FailureBox())
        form->FailureBox()->close();
}

void TestFormPrincipal::functionKeysOnDisabledButtonsAreIgnored()
{
    auto form = ShownForm();
    form->BtnConectar->setEnabled(false);
    form->BtnDesconectar->setEnabled(false);
    form->EdtPOR->setFocus();
    QTest::keyClick(form->EdtPOR, Qt::Key_F2);
    QTest::keyClick(form->EdtPOR, Qt::Key_F3);
    QCOMPARE(QApplication::focusWidget(), form->EdtPOR);
    QVERIFY(m_messages.isEmpty());
    QVERIFY(form->isVisible());
    // Esc still works with both other buttons disabled.
    QTest::keyClick(form->EdtPOR, Qt::Key_Escape);
    QVERIFY(!form->isVisible());
}

void TestFormPrincipal::closingByTheSystemMenuEndsTheProgram()
{
    auto form = ShownForm();
    QSignalSpy closed(form.get(), &TFrmPrincipal::Closed);
    QVERIFY(form->close());
    QCOMPARE(closed.count(), 1);
    // Hiding to the tray is no close.
    auto other = std::make_unique<TFrmPrincipal>(nullptr, false);
    QSignalSpy otherClosed(other.get(), &TFrmPrincipal::Closed);
    other->show();
    other->AppMinimize();
    QVERIFY(!other->isVisible());
    QCOMPARE(otherClosed.count(), 0);
}

void TestFormPrincipal::hideSwitch_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("shown");
    QTest::newRow("none") << QStringList() << true;
    QTest::newRow("HIDE") << QStringList{QStringLiteral("HIDE")} << false;
    QTest::newRow("lower case with blanks") << QStringList{QStringLiteral(" hide ")} << false;
    QTest::newRow("mixed case, tab and newline") << QStringList{QStringLiteral("\tHiDe\r\n")} << false;
    QTest::newRow("second argument") << QStringList{QStringLiteral("CFG=x.ini"), QStringLiteral("HIDE")} << true;
    QTest::newRow("longer word") << QStringList{QStringLiteral("HIDES")} << true;
    QTest::newRow("inner blank") << QStringList{QStringLiteral("HI DE")} << true;
    QTest::newRow("empty first") << QStringList{QString(), QStringLiteral("HIDE")} << true;
}

void TestFormPrincipal::hideSwitch()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, shown);
    SetArgumentsForTesting(arguments);
    m_form->ShowAtStart();
    QCOMPARE(m_form->isVisible(), shown);
    QVERIFY(!m_form->isMinimized());
}

void TestFormPrincipal::hideSwitchWithoutTrayStartsMinimised()
{
    TFrmPrincipal::SetTrayAvailableForTesting(false);
    SetArgumentsForTesting({QStringLiteral(" hide ")});
    m_form->ShowAtStart();
    QVERIFY(m_form->isVisible());
    QVERIFY(m_form->isMinimized());
}

void TestFormPrincipal::trayDoubleClickWhileVisibleChangesNothing()
{
    auto form = ShownForm();
    form->showMinimized();
    const QRect before = form->geometry();
    emit form->TI->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(form->isVisible());
    QVERIFY(form->isMinimized());
    QCOMPARE(form->geometry(), before);
}

void TestFormPrincipal::trayDoubleClickRestoresHiddenWindow()
{
    SetArgumentsForTesting({QStringLiteral("HIDE")});
    m_form->ShowAtStart();
    QVERIFY(!m_form->isVisible());
    emit m_form->TI->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!m_form->isVisible());
    emit m_form->TI->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(m_form->isVisible());
    QVERIFY(!m_form->isMinimized());
}

void TestFormPrincipal::minimiseHidesToTray()
{
    auto form = ShownForm();
    form->SetAppMinimizeAttached(true);
    form->showMinimized();
    QTRY_VERIFY(!form->isVisible());
    // And back in its normal state on the icon's double-click.
    emit form->TI->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(form->isVisible());
    QVERIFY(!form->isMinimized());
}

void TestFormPrincipal::minimiseWithoutTrayKeepsWindowReachable()
{
    TFrmPrincipal::SetTrayAvailableForTesting(false);
    auto form = ShownForm();
    form->SetAppMinimizeAttached(true);
    form->showMinimized();
    QTest::qWait(50);
    QVERIFY(form->isVisible());
    QVERIFY(form->isMinimized());
}

void TestFormPrincipal::minimiseBeforeHandlerAttachedKeepsWindow()
{
    auto form = ShownForm();
    QVERIFY(!form->AppMinimizeAttached());
    form->showMinimized();
    QTest::qWait(50);
    QVERIFY(form->isVisible());
    // Shutdown detaches the handler again.
    form->SetAppMinimizeAttached(true);
    form->FormDestroy();
    QVERIFY(!form->AppMinimizeAttached());
}

namespace {
// The menu as the user sees it: visible entries, without their key marks.
QStringList VisibleEntries(const QMenu *menu)
{
    QStringList entries;
    for (const QAction *a : menu->actions()) {
        if (a->isVisible() && !a->isSeparator())
            entries << a->text().remove(QLatin1Char('&'));
    }
    return entries;
}
} // namespace

void TestFormPrincipal::trayMenuOffersWhatApplies()
{
    QCOMPARE(m_form->TI->contextMenu(), m_form->TrayMenu);
    const QStringList disconnected{QStringLiteral("Abrir"), QStringLiteral("Conectar"),
                                   QStringLiteral("Abrir registro de eventos"),
                                   QStringLiteral("Configurar banco de dados do ERP..."), QStringLiteral("Sair")};
    QCOMPARE(VisibleEntries(m_form->TrayMenu), disconnected);
    // What the engine publishes, delivered at once on this thread.
    emit m_form->Sync.Engine()->TurnstileConnectedChanged(true);
    QCOMPARE(VisibleEntries(m_form->TrayMenu),
             (QStringList{QStringLiteral("Abrir"), QStringLiteral("Desconectar"),
                          QStringLiteral("Abrir registro de eventos"),
                          QStringLiteral("Configurar banco de dados do ERP..."), QStringLiteral("Sair")}));
    emit m_form->Sync.Engine()->TurnstileConnectedChanged(false);
    QCOMPARE(VisibleEntries(m_form->TrayMenu), disconnected);
}

void TestFormPrincipal::trayMenuConnectsAndDisconnectsAsF2AndF3Do()
{
    auto form = ShownForm();
    int failures = 0;
    int trayStates = 0;
    connect(form->Sync.Engine(), &TSyncEngine::Failure, form.get(), [&failures] { ++failures; });
    connect(form->Sync.Engine(), &TSyncEngine::TrayStateChanged, form.get(), [&trayStates] { ++trayStates; });
    QStringList focusTrail;
    const auto trail = connect(qApp, &QApplication::focusChanged, this, [&](QWidget *, QWidget *now) {
        if (now)
            focusTrail << now->objectName();
    });
    // Without dbxconnections.ini the connect ends in its failure box, as F2's.
    form->ActConectar->trigger();
    QTRY_COMPARE(failures, 1);
    QVERIFY(!focusTrail.isEmpty());
    QCOMPARE(focusTrail.first(), QStringLiteral("BtnConectar"));
    if (form->FailureBox())
        form->FailureBox()->close();
    disconnect(trail);
    // The retries of the failed connect run: Desconectar stops them (its
    // button, disabled then, passes the focus on).
    QVERIFY(form->SessionActive());
    QTRY_COMPARE(form->CurrentTrayState(), TSyncTrayState::Failing);
    form->ActDesconectar->trigger();
    QTRY_COMPARE(trayStates, 2);
    QVERIFY(!form->SessionActive());
    QVERIFY(!form->BtnDesconectar->isEnabled());
    QCOMPARE(form->CurrentTrayState(), TSyncTrayState::Disconnected);
    QVERIFY(form->isVisible());
}

void TestFormPrincipal::trayMenuConnectIsRefusedAsF2Is()
{
    auto form = ShownForm();
    form->BtnConectar->setEnabled(false);
    form->EdtPOR->setFocus();
    int failures = 0;
    connect(form->Sync.Engine(), &TSyncEngine::Failure, form.get(), [&failures] { ++failures; });
    form->ActConectar->trigger();
    QTest::qWait(200);
    QCOMPARE(failures, 0);
    QCOMPARE(QApplication::focusWidget(), form->EdtPOR);
    QVERIFY(m_messages.isEmpty());
}

void TestFormPrincipal::trayMenuOpenBringsTheWindowBack()
{
    SetArgumentsForTesting({QStringLiteral("HIDE")});
    m_form->ShowAtStart();
    QVERIFY(!m_form->isVisible());
    m_form->ActAbrir->trigger();
    QVERIFY(m_form->isVisible());
    QVERIFY(!m_form->isMinimized());
    // Unlike the double-click, also from the task bar's minimised state.
    m_form->showMinimized();
    QTRY_VERIFY(m_form->isMinimized());
    m_form->ActAbrir->trigger();
    QTRY_VERIFY(!m_form->isMinimized());
    QVERIFY(m_form->isVisible());
}

void TestFormPrincipal::trayMenuQuitEndsAsCloseDoes()
{
    SetArgumentsForTesting({QStringLiteral("HIDE")});
    m_form->ShowAtStart();
    QSignalSpy closed(m_form.get(), &TFrmPrincipal::Closed);
    m_form->ActSair->trigger();
    QCOMPARE(closed.count(), 1);
    // And from the open window, as "Fechar ESC".
    auto form = std::make_unique<TFrmPrincipal>(nullptr, false);
    QSignalSpy shownClosed(form.get(), &TFrmPrincipal::Closed);
    form->show();
    form->ActSair->trigger();
    QCOMPARE(shownClosed.count(), 1);
    QVERIFY(!form->isVisible());
}

#ifdef Q_OS_WIN
namespace {
const QString ViewerClass = QStringLiteral("CatracaSyncTests.LogViewer");

QString ClassesKey(const QString &root, const QString &name)
{
    return root + QLatin1Char('\\') + name;
}

bool KeyExists(const QString &key)
{
    const QSettings settings(key, QSettings::NativeFormat);
    return !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
}

// A program of our own for .log files, as a user's choice of viewer would be:
// per user where the system reads the user's types (Windows), machine-wide
// where it reads only the machine's (Wine). Only keys it made are taken away again.
class LogViewerRegistration
{
public:
    explicit LogViewerRegistration(const QString &command)
    {
        for (const QString root : {QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes"),
                                   QStringLiteral("HKEY_CLASSES_ROOT")}) {
            if (KeyExists(ClassesKey(root, QStringLiteral(".log"))) || KeyExists(ClassesKey(root, ViewerClass)))
                continue;
            QSettings(ClassesKey(root, QStringLiteral(".log")), QSettings::NativeFormat).setValue("Default", ViewerClass);
            QSettings(ClassesKey(root, ViewerClass + QStringLiteral("\\shell\\open\\command")), QSettings::NativeFormat)
                .setValue("Default", command);
            m_root = root;
            if (QSettings(QStringLiteral("HKEY_CLASSES_ROOT\\.log"), QSettings::NativeFormat).value("Default") == ViewerClass)
                return;
            Remove();
        }
    }
    ~LogViewerRegistration() { Remove(); }
    bool Active() const { return !m_root.isEmpty(); }

private:
    void Remove()
    {
        if (m_root.isEmpty())
            return;
        QSettings classes(m_root, QSettings::NativeFormat);
        classes.remove(QStringLiteral(".log"));
        classes.remove(ViewerClass);
        m_root.clear();
    }
    QString m_root;
};

// Read from the process's own memory, where its parent wrote it: Wine lacks
// the query that hands it over directly (ProcessCommandLineInformation).
QString CommandLineOf(HANDLE process)
{
    PROCESS_BASIC_INFORMATION basic{};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    using Query = LONG(WINAPI *)(HANDLE, PROCESSINFOCLASS, void *, ULONG, ULONG *);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0
        || !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr)
        || !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return QStringLiteral("notepad.exe (command line not readable)");
    std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, text.data(), parameters.CommandLine.Length, nullptr))
        return QStringLiteral("notepad.exe (command line not readable)");
    return QString::fromStdWString(text);
}

// Notepad's processes that start while it watches, ended as soon as seen:
// their command lines. ShellExecute returns only once the program it started
// is ready for input, which a short-lived one may never be.
class NotepadWatch
{
public:
    NotepadWatch()
    {
        Poll(true);
        m_thread = std::thread([this] {
            while (!m_stop) {
                Poll(false);
                Sleep(10);
            }
        });
    }
    ~NotepadWatch() { Stop(); }
    int Seen() const { return m_seen; }
    QStringList Stop()
    {
        if (m_thread.joinable()) {
            m_stop = true;
            m_thread.join();
        }
        return m_lines;
    }

private:
    void Poll(bool initial)
    {
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (_wcsicmp(entry.szExeFile, L"notepad.exe") != 0 || m_known.contains(entry.th32ProcessID))
                continue;
            m_known.insert(entry.th32ProcessID);
            if (initial)
                continue;
            const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE,
                                               entry.th32ProcessID);
            m_lines << (process ? CommandLineOf(process) : QStringLiteral("notepad.exe (gone)"));
            if (process) {
                TerminateProcess(process, 0);
                CloseHandle(process);
            }
            ++m_seen;
        }
        CloseHandle(snapshot);
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_seen{0};
    QSet<DWORD> m_known;
    QStringList m_lines;
};
} // namespace
#endif

#ifndef Q_OS_WIN
namespace {
// Runs the action with an xdg-open of our own, this script, in front of the
// desktop's; the folder outlives the opener's start.
bool TriggerWithOpener(QAction *action, const QTemporaryDir &bin, const QByteArray &script)
{
    QFile viewer(bin.filePath(QStringLiteral("xdg-open")));
    if (!viewer.open(QIODevice::WriteOnly) || viewer.write(script) != script.size())
        return false;
    viewer.close();
    viewer.setPermissions(viewer.permissions() | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    action->trigger();
    qputenv("PATH", path);
    return true;
}
} // namespace
#endif

void TestFormPrincipal::trayMenuOpensTheLogWithTheSystemViewer()
{
    LogEvent(QStringLiteral("linha de teste"));
    QVERIFY(QFileInfo::exists(EventLogPath()));
    // A viewer of our own in front of the system's: it writes what it was
    // asked to open.
    QTemporaryDir bin;
    const QString marker = bin.filePath(QStringLiteral("opened"));
#ifdef Q_OS_WIN
    if (QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\"
                                 ".log\\UserChoice"),
                  QSettings::NativeFormat)
            .contains("ProgId"))
        QSKIP("this user chose a program for .log files, which comes before any other");
    const LogViewerRegistration viewer(QStringLiteral("\"%1\" /c echo %2>\"%3\"")
                                           .arg(QDir::toNativeSeparators(qEnvironmentVariable("ComSpec", "cmd.exe")),
                                                QStringLiteral("%1"), QDir::toNativeSeparators(marker)));
    if (!viewer.Active())
        QSKIP("no type of our own for .log files can be registered here");
    m_form->ActRegistro->trigger();
#else
    QVERIFY(TriggerWithOpener(m_form->ActRegistro, bin,
                              QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\n").arg(marker).toUtf8()));
#endif
    QTRY_VERIFY(QFileInfo(marker).size() > 0);
    QFile opened(marker);
    QVERIFY(opened.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(opened.readAll()).trimmed(), QDir::toNativeSeparators(EventLogPath()));
    QVERIFY(m_messages.isEmpty());

    // No log yet (a folder that cannot be written): said, not opened.
    QFile::remove(EventLogPath());
    m_form->ActRegistro->trigger();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().startsWith(QStringLiteral("Erro: O registro de eventos não foi encontrado: ")),
             qPrintable(m_messages.first()));
}

void TestFormPrincipal::trayMenuOpensTheLogWithoutAViewerForItsType()
{
    LogEvent(QStringLiteral("linha de teste"));
    QVERIFY(QFileInfo::exists(EventLogPath()));
#ifdef Q_OS_WIN
    // ShellExecute alone opens nothing and says nothing then: Notepad it is.
    if (KeyExists(QStringLiteral("HKEY_CLASSES_ROOT\\.log")))
        QSKIP("this system has a program for .log files");
    NotepadWatch watch;
    m_form->ActRegistro->trigger();
    QTRY_VERIFY(watch.Seen() > 0);
    const QStringList started = watch.Stop();
    QCOMPARE(started.size(), 1);
    QVERIFY2(started.first().endsWith(QLatin1Char('"') + QDir::toNativeSeparators(EventLogPath()) + QLatin1Char('"')),
             qPrintable(started.first()));
    QVERIFY(m_messages.isEmpty());
#else
    // Without xdg-open nothing can open it: said.
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(empty.path()));
    m_form->ActRegistro->trigger();
    qputenv("PATH", path);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().startsWith(QStringLiteral("Erro: Não foi possível abrir o registro de eventos: ")),
             qPrintable(m_messages.first()));
#endif
}

void TestFormPrincipal::trayTooltipTellsTheFacts()
{
    const QDateTime now(QDate(2026, 12, 9), QTime(14, 3, 22));
    TTrayFacts facts;
    QCOMPARE(TrayTooltip(facts, now), QStringLiteral("Catraca Kolde\nÚltima sincronização: nenhuma"));
    facts.state = TSyncTrayState::Synchronised;
    facts.lastSynchronised = now.addSecs(-2);
    facts.openTabs = 3;
    QCOMPARE(TrayTooltip(facts, now),
             QStringLiteral("Catraca Kolde - sincronizado\nÚltima sincronização: 14:03:20\nComandas abertas: 3"));
    // From another day the date is told too.
    QCOMPARE(TrayTooltip(facts, now.addDays(1)).section(QLatin1Char('\n'), 1, 1),
             QStringLiteral("Última sincronização: 09/12 14:03"));

    // While failing, the error: whole when it fits, without its address and
    // then cut when it does not; never past the classic tray's 127.
    facts.state = TSyncTrayState::Failing;
    facts.lastError = QStringLiteral("Falha ao ler o banco de dados do ERP");
    QCOMPARE(TrayTooltip(facts, now), QStringLiteral("Catraca Kolde - falha\nÚltima sincronização: 14:03:20\n"
                                                     "Comandas abertas: 3\nFalha ao ler o banco de dados do ERP"));
    facts.lastError = QStringLiteral("Sem conexão com o banco da catraca (127.0.0.1:3307): Can't connect to server on "
                                     "'127.0.0.1' (111)");
    QString tip = TrayTooltip(facts, now);
    QVERIFY2(tip.size() <= TrayTooltipMaxLength, qPrintable(tip));
    QCOMPARE(tip.section(QLatin1Char('\n'), 3), QStringLiteral("Sem conexão com o banco da catraca: Can't connect to …"));
    QCOMPARE(tip.size(), TrayTooltipMaxLength);
    // Room for what failed but hardly any of the server's words: what failed.
    QCOMPARE(TrayTooltip(facts, now, 120).section(QLatin1Char('\n'), 3),
             QStringLiteral("Sem conexão com o banco da catraca"));
    // A failure explained in sentences: whole sentences or none.
    facts.openTabs = 3;
    facts.lastError = QStringLiteral("Não foi possível gravar no banco de dados da catraca (127.0.0.1:3307): a tabela "
                                     "cad_comanda não existe nesse banco de dados. Verifique se o campo BASE DADOS "
                                     "indica o banco de dados da catraca. O programa continua tentando. [Table "
                                     "'catraca.cad_comanda' doesn't exist]");
    QCOMPARE(TrayTooltip(facts, now).section(QLatin1Char('\n'), 3),
             QStringLiteral("Não foi possível gravar no banco de dados da catraca"));
    QCOMPARE(TrayTooltip(facts, now, 200).section(QLatin1Char('\n'), 3),
             QStringLiteral("Não foi possível gravar no banco de dados da catraca: a tabela cad_comanda não existe "
                            "nesse banco de dados."));
    // A notification has room for what to check too, not for the client's text.
    QCOMPARE(BalloonText(QStringLiteral("Conexão com a catraca perdida."), facts.lastError),
             QStringLiteral("Conexão com a catraca perdida.\nNão foi possível gravar no banco de dados da catraca "
                            "(127.0.0.1:3307): a tabela cad_comanda não existe nesse banco de dados. Verifique se o "
                            "campo BASE DADOS indica o banco de dados da catraca. O programa continua tentando."));
    QVERIFY(BalloonText(QStringLiteral("x"), QString(400, QLatin1Char('y'))).size() <= BalloonMaxLength);
    // With more room, as much of the server's words as fits.
    facts.lastError = QStringLiteral("Sem conexão com o banco da catraca (127.0.0.1:3307): Can't connect to server on "
                                     "'127.0.0.1' (111)");
    facts.openTabs = -1;
    facts.lastSynchronised = QDateTime();
    tip = TrayTooltip(facts, now);
    QVERIFY2(tip.size() <= TrayTooltipMaxLength, qPrintable(tip));
    QVERIFY2(tip.section(QLatin1Char('\n'), 2).startsWith(QStringLiteral("Sem conexão com o banco da catraca: Can't")),
             qPrintable(tip));
    QVERIFY(tip.endsWith(QChar(0x2026)));
    facts.lastError = QString(400, QLatin1Char('x'));
    tip = TrayTooltip(facts, now);
    QCOMPARE(tip.size(), TrayTooltipMaxLength);
    QVERIFY(tip.endsWith(QChar(0x2026)));

    // The window's icon carries it: the engine's facts as they arrive.
    TSyncEngine *engine = m_form->Sync.Engine();
    emit engine->TrayStateChanged(TSyncTrayState::Synchronised);
    emit engine->OpenTabsCounted(7);
    emit engine->CycleEnded(true);
    QStringList lines = m_form->TI->toolTip().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("Catraca Kolde - sincronizado"));
    QVERIFY2(QRegularExpression(QStringLiteral("^Última sincronização: \\d\\d:\\d\\d:\\d\\d$")).match(lines.value(1)).hasMatch(),
             qPrintable(lines.value(1)));
    QCOMPARE(lines.value(2), QStringLiteral("Comandas abertas: 7"));
    QCOMPARE(lines.size(), 3);
    emit engine->TrayStateChanged(TSyncTrayState::Failing);
    emit engine->LastErrorChanged(QStringLiteral("Falha ao gravar no banco da catraca (127.0.0.1:3307): x"));
    lines = m_form->TI->toolTip().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("Catraca Kolde - falha"));
    // Too long with its address: without it.
    QCOMPARE(lines.value(3), QStringLiteral("Falha ao gravar no banco da catraca: x"));
    // The episode's end takes the error away.
    emit engine->FailureEnded();
    emit engine->TrayStateChanged(TSyncTrayState::Synchronised);
    QCOMPARE(m_form->TI->toolTip().split(QLatin1Char('\n')).size(), 3);
}

void TestFormPrincipal::stateAtAGlanceNeverContradicts()
{
    using T = TSyncTrayState;
    TSyncEngine *engine = m_form->Sync.Engine();
    QList<std::pair<QString, QString>> balloons;
    connect(m_form.get(), &TFrmPrincipal::BalloonShown, this,
            [&balloons](const QString &text, const QString &detail) { balloons.append({text, detail}); });
    const QString lostMessage = QStringLiteral("Não foi possível gravar no banco de dados da catraca (127.0.0.1:3307): a "
                                               "conexão com o servidor caiu. Verifique ... [Lost connection]");
    const auto connected = [engine] {
        emit engine->TurnstileConnectedChanged(true);
        emit engine->StatusChanged(StatusSynchronised(1), StatusColorDone);
        emit engine->TrayStateChanged(T::Synchronised);
    };
    // What the engine publishes through a session, in order; what the window
    // shows after each step (an empty status: the engine's last, unchecked).
    struct TStep {
        const char *what;
        std::function<void()> event;
        bool connect;
        bool disconnect;
        TSyncTrayState tray;
        QString status;
    };
    const TStep steps[] = {
        // As the start-up sequence leaves it.
        {"start", [this] { m_form->AtualizaBotoes(); }, true, false, T::Waiting, QStringLiteral("AGUARDANDO")},
        {"a session begins", [this] { m_form->OnSessionActiveChanged(true); }, true, true, T::Waiting, {}},
        {"synchronised", connected, false, true, T::Synchronised, StatusSynchronised(1)},
        {"the ERP fails", [engine] { emit engine->TrayStateChanged(T::Failing); }, false, true, T::Failing, {}},
        {"the ERP is back", connected, false, true, T::Synchronised, {}},
        // Grey from an engine that tells a lost turnstile as a disconnection.
        {"the turnstile is lost",
         [&] {
             emit engine->TurnstileConnectedChanged(false);
             emit engine->StatusChanged(QStringLiteral("SEM CONEXÃO COM A CATRACA"), StatusColorFailed);
             emit engine->TrayStateChanged(T::Disconnected);
             emit engine->LastErrorChanged(lostMessage);
         },
         true, true, T::Failing, QStringLiteral("SEM CONEXÃO COM A CATRACA")},
        {"retried, as failing", [engine] { emit engine->TrayStateChanged(T::Failing); }, true, true, T::Failing, {}},
        {"the turnstile is back", connected, false, true, T::Synchronised, {}},
        {"the user's disconnect",
         [this, engine] {
             m_form->BtnDesconectarClick();
             emit engine->TurnstileConnectedChanged(false);
             emit engine->TrayStateChanged(T::Disconnected);
         },
         true, false, T::Disconnected, StatusDisconnected()},
        {"a connect that fails, retried",
         [this, engine] {
             m_form->OnSessionActiveChanged(true);
             emit engine->TrayStateChanged(T::Failing);
         },
         true, true, T::Failing, {}},
        {"the user stops the retries",
         [this, engine] {
             m_form->OnSessionActiveChanged(false);
             emit engine->TrayStateChanged(T::Disconnected);
         },
         true, false, T::Disconnected, StatusDisconnected()},
    };
    QStringList wrong;
    for (const TStep &step : steps) {
        step.event();
        const QString seen = QStringLiteral("%1 %2 %3 %4")
                                 .arg(m_form->BtnConectar->isEnabled())
                                 .arg(m_form->BtnDesconectar->isEnabled())
                                 .arg(int(m_form->CurrentTrayState()))
                                 .arg(step.status.isEmpty() ? QString() : m_form->LblStatus->text());
        const QString wanted = QStringLiteral("%1 %2 %3 %4")
                                   .arg(step.connect)
                                   .arg(step.disconnect)
                                   .arg(int(step.tray))
                                   .arg(step.status);
        if (seen != wanted)
            wrong << QStringLiteral("%1: %2 instead of %3").arg(QLatin1String(step.what), seen, wanted);
        // The menu offers what the buttons do.
        if (m_form->ActConectar->isVisible() != step.connect || m_form->ActDesconectar->isVisible() != step.disconnect)
            wrong << QStringLiteral("%1: tray menu").arg(QLatin1String(step.what));
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    QCOMPARE(m_form->LblStatus->palette().color(QPalette::WindowText), ColorFromBgr(StatusColorDisconnected));
    QCOMPARE(m_form->TI->toolTip().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Catraca Kolde - desconectado da catraca"));
    // One notification for the loss, with its failure's message; none for the
    // user's own stop.
    QTRY_COMPARE(balloons.size(), 2);
    QCOMPARE(balloons[0], std::make_pair(QStringLiteral("Conexão com a catraca perdida."), lostMessage));
    QCOMPARE(balloons[1].first, QStringLiteral("Conexão com a catraca restabelecida."));
    QTest::qWait(1200);
    QCOMPARE(balloons.size(), 2);
}

void TestFormPrincipal::trayMenuSaysWhenTheViewerFails()
{
#ifdef Q_OS_WIN
    QSKIP("the platform checks start a failing opener under Windows (tests/platform/launch_checks.cpp)");
#else
    LogEvent(QStringLiteral("linha de teste"));
    // An opener that finds no viewer, as xdg-open does on a desktop without one.
    QTemporaryDir bin;
    QVERIFY(TriggerWithOpener(m_form->ActRegistro, bin, "#!/bin/sh\nexit 3\n"));
    const auto openBox = []() -> QMessageBox * {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                return box;
        }
        return nullptr;
    };
    QTRY_VERIFY(openBox());
    QMessageBox *box = openBox();
    QVERIFY2(box->text().contains(QStringLiteral("(código 3)")), qPrintable(box->text()));
    QVERIFY2(box->text().endsWith(EventLogPath()), qPrintable(box->text()));
    // Nothing waited for it.
    QVERIFY(m_messages.isEmpty());
    box->close();
#endif
}

QTEST_MAIN(TestFormPrincipal)
#include "tst_form_principal.moc"
