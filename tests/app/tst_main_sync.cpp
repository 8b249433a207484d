// The main window's synchronisation against the private Firebird and MariaDB
// servers: what the labels and the tray icon say after each cycle, failures
// shown once, the automatic reconnection of the turnstile, and start-up.
#include "app/app_env.h"
#include "app/form_principal.h"
#include "erp/kr_database.h"
#include "support/db_servers.h"
#include "sync/event_log.h"
#include "uikit/kr_guard.h"
#include "uikit/kr_message.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// A prompt that would block the test: it counts its showings and cancels.
class TCancellingPrompt : public IConnectPrompt
{
public:
    explicit TCancellingPrompt(int &shown) : m_shown(shown) {}
    bool Execute() override
    {
        ++m_shown;
        return false;
    }
    TConnectEntries Entries() const override { return {}; }

private:
    int &m_shown;
};

QColor TextColor(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

class TestMainSync : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cycleShowsSynchronisedAndCounters();
    void failedCycleIsRedAndRetriesTheOpenRow();
    void oneFailureIsShownOnceWhileCyclesGoOn();
    void lostTurnstileReconnectsByItself();
    void userDisconnectStopsReconnection();
    void disconnectDuringTheCycleStaysDisconnected();
    void restartedErpIsOpenedAgainWithoutPrompt();
    void failedConnectIsRetriedUntilItWorks();
    void startWithoutProductFileNeitherWaitsNorConnects();
    void hiddenStartWithClosedTurnstileRecovers();

private:
    bool HaveServers() const
    {
        return !dbtest::Env("CATRACA_FB_HOST").isEmpty() && !dbtest::Env("CATRACA_MYSQL_HOST").isEmpty()
            && !dbtest::Env("CATRACA_SERVERS_SCRIPT").isEmpty();
    }
    // Start-up as the program runs it, with these arguments and no wait.
    void StartForm(const QStringList &arguments);
    // Start-up without the hide switch, then the user's "Conectar F2".
    void StartConnected();
    void Sql(const char *command, const QString &sql);
    QByteArray Log() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<TFrmPrincipal> m_form;
    QStringList m_messages;
    QStringList m_errors;
    int m_promptShown = 0;
    // Runs inside the error display, as ticks do while a real box is open.
    std::function<void()> m_whileErrorShown;
};

void TestMainSync::initTestCase()
{
    if (!HaveServers())
        QSKIP("needs the private servers (CATRACA_FB_HOST, CATRACA_MYSQL_HOST, CATRACA_SERVERS_SCRIPT)");
    SetMessagePresenter([this](const MessageRequest &r) {
        m_messages << r.title + QStringLiteral(": ") + r.text;
        return MessageOutcome{};
    });
    SetTopLevelErrorDisplay([this](const QString &message) {
        m_errors << message;
        if (m_whileErrorShown)
            m_whileErrorShown();
    });
    SetConnectPromptFactory([this] { return std::make_unique<TCancellingPrompt>(m_promptShown); });
    DBManager.EndApplication = [] {};
    TFrmPrincipal::SetTrayAvailableForTesting(true);
}

void TestMainSync::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    SetExecutableFolderForTesting(m_dir->path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    qputenv("CATRACA_STARTUP_WAIT_MS", "0");
    QVERIFY(dbtest::WriteInstallSettings(m_dir->path()));
    QVERIFY(dbtest::RestoreSampleTabs());
    Sql("mysql-sql", QStringLiteral("delete from cad_comanda"));
    m_messages.clear();
    m_errors.clear();
    m_promptShown = 0;
    m_whileErrorShown = nullptr;
}

void TestMainSync::cleanup()
{
    m_form.reset();
    DBManager.Database = nullptr;
    DBManager.Transaction = nullptr;
    SetArgumentsForTesting({});
    SetExecutableFolderForTesting(QString());
    QCOMPARE(m_promptShown, 0);
}

void TestMainSync::Sql(const char *command, const QString &sql)
{
    bool ok = false;
    dbtest::ServersScriptOutput({QString::fromLatin1(command), sql}, &ok);
    QVERIFY2(ok, qPrintable(sql));
}

QByteArray TestMainSync::Log() const
{
    QFile f(EventLogPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestMainSync::StartForm(const QStringList &arguments)
{
    SetArgumentsForTesting(arguments);
    m_form = std::make_unique<TFrmPrincipal>(nullptr, false);
    m_form->FormCreate();
    // The tests run the ticks themselves.
    m_form->TMSincro->stop();
}

void TestMainSync::StartConnected()
{
    StartForm({});
    QVERIFY2(m_form->BDA.Connected(), qPrintable(m_messages.join(QLatin1Char('\n'))));
    QVERIFY(m_form->ConfiguracaoCarregada());
    m_form->BtnConectarClick();
    m_form->TMSincro->stop();
    QVERIFY2(m_form->MySQL.Connected(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Waiting);
    QVERIFY(m_messages.isEmpty());
    QVERIFY(m_errors.isEmpty());
}

// --- one cycle as the window shows it -----------------------------------------

void TestMainSync::cycleShowsSynchronisedAndCounters()
{
    StartConnected();
    m_form->TMSincroTimer();
    QVERIFY2(QRegularExpression(QStringLiteral("^SINCRONIZADO - \\d+ ms$")).match(m_form->LblStatus->text()).hasMatch(),
             qPrintable(m_form->LblStatus->text()));
    QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorDone));
    QCOMPARE(m_form->LblMemoria->text(), QStringLiteral("3 enviadas nesta sessão\n3 comandas abertas"));
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Synchronised);
    QCOMPARE(m_form->TI->toolTip(), QStringLiteral("Catraca Kolde - sincronizado"));
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"));
    // The read-only ERP transaction ends with the read.
    QVERIFY(!m_form->TRA.Active());

    // Nothing changed: no write, no log line.
    const QByteArray log = Log();
    m_form->TMSincroTimer();
    QCOMPARE(m_form->LblMemoria->text(), QStringLiteral("3 enviadas nesta sessão\n3 comandas abertas"));
    QCOMPARE(Log(), log);

    // A settled tab is written closed and leaves the count of open tabs.
    Sql("fb-sql", QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = 12;"));
    m_form->TMSincroTimer();
    QCOMPARE(m_form->LblMemoria->text(), QStringLiteral("4 enviadas nesta sessão\n2 comandas abertas"));
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:1 14:0"));
    QVERIFY(Log().mid(log.size()).contains("comanda 12 gravada como fechada"));
    QVERIFY(m_errors.isEmpty());
}

// --- failures ------------------------------------------------------------------

void TestMainSync::failedCycleIsRedAndRetriesTheOpenRow()
{
    StartConnected();
    m_form->TMSincroTimer();
    // The table goes away under the running program: the write fails.
    Sql("mysql-sql", QStringLiteral("rename table cad_comanda to cad_comanda_fora"));
    auto putBack = qScopeGuard([this] { Sql("mysql-sql", QStringLiteral("rename table cad_comanda_fora to cad_comanda")); });
    Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (20, 5);"));
    m_form->TMSincroTimer();
    QCOMPARE(m_form->LblStatus->text(), QStringLiteral("FALHA NA SINCRONIZAÇÃO"));
    QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorFailed));
    QCOMPARE(m_form->LblMemoria->text(), QStringLiteral("4 enviadas nesta sessão\n4 comandas abertas"));
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Failing);
    QCOMPARE(m_form->TI->toolTip(), QStringLiteral("Catraca Kolde - falha na sincronização"));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().contains(QStringLiteral("cad_comanda")), qPrintable(m_errors.first()));
    // The connection itself is fine: no reconnection, the buttons stay.
    QVERIFY(m_form->MySQL.Connected());
    QVERIFY(!m_form->ReconnectPending());
    QVERIFY(m_form->BtnDesconectar->isEnabled());
    const int i = m_form->Sincro.Comandas.IndexOf(20);
    QVERIFY(i >= 0);
    QVERIFY(m_form->Sincro.Comandas.At(i).Nova);

    putBack.dismiss();
    Sql("mysql-sql", QStringLiteral("rename table cad_comanda_fora to cad_comanda"));
    m_form->TMSincroTimer();
    QVERIFY(m_form->LblStatus->text().startsWith(QStringLiteral("SINCRONIZADO - ")));
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Synchronised);
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 20:0"));
    QVERIFY(!m_form->Sincro.Comandas.At(m_form->Sincro.Comandas.IndexOf(20)).Nova);
    QVERIFY(Log().contains("Sincronização restabelecida."));
}

void TestMainSync::oneFailureIsShownOnceWhileCyclesGoOn()
{
    StartConnected();
    m_form->TMSincroTimer();
    Sql("mysql-sql", QStringLiteral("rename table cad_comanda to cad_comanda_fora"));
    auto putBack = qScopeGuard([this] { Sql("mysql-sql", QStringLiteral("rename table cad_comanda_fora to cad_comanda")); });
    Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (21, 5);"));
    // While the box is open, two more ticks fail underneath it.
    int enviadasInBox = -1;
    m_whileErrorShown = [this, &enviadasInBox] {
        m_whileErrorShown = nullptr;
        m_form->TMSincroTimer();
        m_form->TMSincroTimer();
        enviadasInBox = m_form->Sincro.Enviadas;
    };
    m_form->TMSincroTimer();
    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(enviadasInBox, 6); // 3 at first, then tab 21 tried by each of three cycles
    // Further failures of the same episode are logged, not shown.
    m_form->TMSincroTimer();
    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(m_form->Sincro.Enviadas, 7);

    // Fixed by itself, then broken again: a new episode is shown again.
    putBack.dismiss();
    Sql("mysql-sql", QStringLiteral("rename table cad_comanda_fora to cad_comanda"));
    m_form->TMSincroTimer();
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Synchronised);
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 21:0"));
    Sql("mysql-sql", QStringLiteral("rename table cad_comanda to cad_comanda_fora"));
    auto putBackAgain =
        qScopeGuard([this] { Sql("mysql-sql", QStringLiteral("rename table cad_comanda_fora to cad_comanda")); });
    Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (22, 5);"));
    m_form->TMSincroTimer();
    QCOMPARE(m_errors.size(), 2);
}

// --- the turnstile connection ------------------------------------------------------

void TestMainSync::lostTurnstileReconnectsByItself()
{
    StartConnected();
    m_form->TMSincroTimer();
    {
        dbtest::TRestartGuard restart(QStringLiteral("start-mariadb"));
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-mariadb")));
        Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (23, 5);"));
        m_form->TMSincroTimer();
        QCOMPARE(m_form->LblStatus->text(), QStringLiteral("SEM CONEXÃO COM A CATRACA"));
        QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorFailed));
        QVERIFY(!m_form->MySQL.Connected());
        QVERIFY(m_form->BtnConectar->isEnabled());
        QVERIFY(!m_form->BtnDesconectar->isEnabled());
        QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Disconnected);
        QVERIFY(m_form->ReconnectPending());
        QCOMPARE(m_errors.size(), 1);

        // A try while the server is still down: silent, and tried again later.
        m_form->ReconnectNow();
        QVERIFY(!m_form->MySQL.Connected());
        QVERIFY(m_form->ReconnectPending());
        QCOMPARE(m_errors.size(), 1);
        // Ticks meanwhile do nothing.
        const QString status = m_form->LblStatus->text();
        m_form->TMSincroTimer();
        QCOMPARE(m_form->LblStatus->text(), status);
    }
    m_form->ReconnectNow();
    QVERIFY(m_form->MySQL.Connected());
    QVERIFY(!m_form->ReconnectPending());
    QVERIFY(!m_form->BtnConectar->isEnabled());
    QVERIFY(m_form->BtnDesconectar->isEnabled());
    QCOMPARE(m_form->Sincro.Comandas.Count(), 0);
    // The connect marked every row closed; the next cycle writes them all again.
    m_form->TMSincroTimer();
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 23:0"));
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Synchronised);
    QCOMPARE(m_errors.size(), 1);
    const QByteArray log = Log();
    QVERIFY(log.contains("Falha na sincronização"));
    QVERIFY(log.contains("Falha ao conectar à catraca"));
}

void TestMainSync::userDisconnectStopsReconnection()
{
    StartConnected();
    m_form->TMSincroTimer();
    m_form->BtnDesconectarClick();
    QVERIFY(!m_form->MySQL.Connected());
    QVERIFY(!m_form->ReconnectPending());
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Disconnected);
    QCOMPARE(m_form->TI->toolTip(), QStringLiteral("Catraca Kolde - sem conexão com a catraca"));
    // Neither a tick nor a stray reconnection timer connects again.
    m_form->TMSincroTimer();
    m_form->ReconnectNow();
    QVERIFY(!m_form->MySQL.Connected());
    QVERIFY(!m_form->ReconnectPending());
    QVERIFY(m_errors.isEmpty());
}

void TestMainSync::disconnectDuringTheCycleStaysDisconnected()
{
    StartConnected();
    // The cycle lets window messages run before its writes: the user's
    // "Desconectar F3" lands there.
    QTimer::singleShot(0, m_form.get(), [this] { m_form->BtnDesconectarClick(); });
    m_form->TMSincroTimer();
    QVERIFY(!m_form->MySQL.Connected());
    QVERIFY(m_form->BtnConectar->isEnabled());
    QVERIFY(!m_form->BtnDesconectar->isEnabled());
    QVERIFY(!m_form->ReconnectPending());
    m_form->TMSincroTimer();
    QVERIFY(!m_form->MySQL.Connected());
    QVERIFY(m_errors.isEmpty());
}

void TestMainSync::restartedErpIsOpenedAgainWithoutPrompt()
{
    StartConnected();
    m_form->TMSincroTimer();
    {
        dbtest::TRestartGuard restart(QStringLiteral("start-firebird"));
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-firebird")));
        m_form->TMSincroTimer();
        QCOMPARE(m_form->LblStatus->text(), QStringLiteral("FALHA NA SINCRONIZAÇÃO"));
        QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorFailed));
        QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Failing);
        // The turnstile side is untouched: no reconnection of it.
        QVERIFY(m_form->MySQL.Connected());
        QVERIFY(!m_form->ReconnectPending());
    }
    Sql("fb-sql", QStringLiteral("DELETE FROM COMANDAS WHERE COM_NUMERO = 14;"));
    // Within a few ticks, with no prompt (checked on leaving) and no user action.
    for (int tick = 0; tick < 3 && m_form->CurrentTrayState() != TFrmPrincipal::TrayState::Synchronised; ++tick)
        m_form->TMSincroTimer();
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Synchronised);
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:1"));
    QCOMPARE(m_errors.size(), 1);
}

void TestMainSync::failedConnectIsRetriedUntilItWorks()
{
    QVERIFY(dbtest::WriteInstallSettings(m_dir->path(), QString::number(dbtest::ClosedPort())));
    StartForm({});
    m_form->BtnConectarClick();
    QCOMPARE(m_errors.size(), 1); // the user's own click is answered
    QCOMPARE(m_form->LblStatus->text(), QStringLiteral("SEM CONEXÃO COM A CATRACA"));
    QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorFailed));
    QVERIFY(m_form->BtnConectar->isEnabled());
    QVERIFY(!m_form->BtnDesconectar->isEnabled());
    QVERIFY(m_form->ReconnectPending());
    // The settings are read again at every try.
    QVERIFY(dbtest::WriteInstallSettings(m_dir->path()));
    m_form->ReconnectNow();
    QVERIFY(m_form->MySQL.Connected());
    QVERIFY(!m_form->ReconnectPending());
    m_form->TMSincroTimer();
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"));
    QCOMPARE(m_errors.size(), 1);
}

// --- start-up ------------------------------------------------------------------------

void TestMainSync::startWithoutProductFileNeitherWaitsNorConnects()
{
    QVERIFY(QFile::remove(m_dir->filePath(QStringLiteral("norvacomercio.ini"))));
    const QString turnstileFile = m_dir->filePath(QStringLiteral("dbxconnections.ini"));
    QFile before(turnstileFile);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();
    qputenv("CATRACA_STARTUP_WAIT_MS", "20000");
    QElapsedTimer clock;
    clock.start();
    StartForm({QStringLiteral("HIDE")});
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_messages,
             QStringList{QStringLiteral("Erro: Coloque este programa na pasta de instalação do seu sistema Norva para "
                                        "que ele possa conectar-se a base de dados!")});
    QVERIFY(!m_form->BDA.Connected());
    QVERIFY(!m_form->MySQL.Connected());
    QVERIFY(!m_form->ConfiguracaoCarregada());
    QVERIFY(!m_form->ReconnectPending());
    // A tick with the fields empty and no list work to do is harmless.
    m_form->TMSincroTimer();
    m_form.reset();
    QFile after(turnstileFile);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
    QVERIFY(m_errors.isEmpty());
}

void TestMainSync::hiddenStartWithClosedTurnstileRecovers()
{
    {
        dbtest::TRestartGuard restart(QStringLiteral("start-mariadb"));
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-mariadb")));
        StartForm({QStringLiteral("HIDE")});
        QVERIFY(m_form->BDA.Connected());
        QVERIFY(m_form->ConfiguracaoCarregada());
        QVERIFY(!m_form->MySQL.Connected());
        QCOMPARE(m_form->LblStatus->text(), QStringLiteral("SEM CONEXÃO COM A CATRACA"));
        QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Disconnected);
        QVERIFY(m_form->BtnConectar->isEnabled());
        QVERIFY(!m_form->BtnDesconectar->isEnabled());
        QVERIFY(m_form->ReconnectPending());
        m_form->ReconnectNow();
        QVERIFY(m_form->ReconnectPending());
    }
    m_form->ReconnectNow();
    QVERIFY(m_form->MySQL.Connected());
    m_form->TMSincroTimer();
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"));
    QCOMPARE(m_form->CurrentTrayState(), TFrmPrincipal::TrayState::Synchronised);
    // At most the automatic connect of the start-up was shown, never the retries.
    QVERIFY2(m_errors.size() <= 1, qPrintable(m_errors.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestMainSync)
#include "tst_main_sync.moc"
