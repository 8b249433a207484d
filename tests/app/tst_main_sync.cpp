// The main window with its synchronisation engine against the private
// Firebird and MariaDB servers, driven only through the real event loop: what
// the labels, the buttons, the tray icon and the failure box say while the
// servers fail and come back, and start-up.
#include "app/form_principal.h"
#include "app/session_view.h"
#include "base/kr_guard.h"
#include "base/kr_inifile.h"
#include "engine/event_log.h"
#include "erp/kr_database.h"
#include "support/db_servers.h"
#include "system/app_env.h"
#include "system/kr_message.h"
#include "turnstile/turnstile_settings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <utility>

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

// The dialog answered with OK and these entries.
class TAnsweringPrompt : public IConnectPrompt
{
public:
    TAnsweringPrompt(int &shown, TConnectEntries entries) : m_shown(shown), m_entries(std::move(entries)) {}
    bool Execute() override
    {
        ++m_shown;
        return true;
    }
    TConnectEntries Entries() const override { return m_entries; }

private:
    int &m_shown;
    TConnectEntries m_entries;
};

QColor TextColor(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

// The failure boxes on screen, by their texts.
QStringList OpenBoxes()
{
    QStringList texts;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            texts << box->text();
    }
    return texts;
}

constexpr int Patience = 15000;

} // namespace

class TestMainSync : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cycleShowsSynchronisedAndCounters();
    void rejectedWritesShowOneBoxThatClosesByItself();
    void rejectedTabDoesNotHoldUpTheOthers();
    void lostTurnstileReconnectsKeepingTheTabList();
    void userDisconnectStopsReconnection();
    void erpOutageRecoversWithNobodyPressingAnything();
    void failedConnectIsRetriedWithItsOwnSettings();
    void fieldCorrectedAsTheBoxAsksIsUsedAtOnce_data();
    void fieldCorrectedAsTheBoxAsksIsUsedAtOnce();
    void failedResetIsOwedUntilItSucceeds();
    void erpRowsTheTurnstileCannotHoldAreSkipped();
    void startWithoutProductFileNeitherWaitsNorConnects();
    void hiddenStartWithClosedTurnstileRecovers();
    void hiddenStartWithErpDownNeverPrompts();
    void hiddenStartWithoutTurnstileSettingsConnectsOnceWritten();
    void wrongErpSettingsAreFixedFromTheRunningProgram();

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
    bool Synchronised() const
    {
        return m_form->CurrentTrayState() == TSyncTrayState::Synchronised
            && m_form->LblStatus->text().startsWith(QStringLiteral("SINCRONIZADO - "));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<TFrmPrincipal> m_form;
    QStringList m_messages;
    QStringList m_errors;
    QStringList m_balloons;
    QString m_lastError;
    int m_promptShown = 0;
    int m_cycles = 0;
    bool m_restoreComandas = false;
};

void TestMainSync::initTestCase()
{
    if (!HaveServers())
        QSKIP("needs the private servers (CATRACA_FB_HOST, CATRACA_MYSQL_HOST, CATRACA_SERVERS_SCRIPT)");
    SetMessagePresenter([this](const MessageRequest &r) {
        m_messages << r.title + QStringLiteral(": ") + r.text;
        return MessageOutcome{};
    });
    SetTopLevelErrorDisplay([this](const QString &message) { m_errors << message; });
    SetConnectPromptFactory([this] { return std::make_unique<TCancellingPrompt>(m_promptShown); });
    DBManager.EndApplication = [] {};
    TFrmPrincipal::SetTrayAvailableForTesting(true);
}

void TestMainSync::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    SetExecutableFolderForTesting(m_dir->path());
    ResetApplicationEndForTesting();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    qputenv("CATRACA_STARTUP_WAIT_MS", "0");
    QVERIFY(dbtest::WriteInstallSettings(m_dir->path()));
    QVERIFY(dbtest::RestoreSampleTabs());
    Sql("mysql-sql", QStringLiteral("delete from cad_comanda"));
    m_messages.clear();
    m_errors.clear();
    m_balloons.clear();
    m_promptShown = 0;
    m_cycles = 0;
}

void TestMainSync::cleanup()
{
    m_form.reset();
    if (m_restoreComandas) {
        m_restoreComandas = false;
        Sql("fb-sql", QStringLiteral("DROP TABLE COMANDAS; COMMIT; "
                                     "CREATE TABLE COMANDAS (COM_NUMERO INTEGER, COM_TOTAL NUMERIC(15,2)); COMMIT;"));
        QVERIFY(dbtest::RestoreSampleTabs());
    }
    DBManager.Database = nullptr;
    DBManager.Transaction = nullptr;
    SetArgumentsForTesting({});
    SetExecutableFolderForTesting(QString());
    QCOMPARE(m_promptShown, 0);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    QTRY_VERIFY(OpenBoxes().isEmpty());
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
    // Faster ticks than the program's 2 s keep the suite short; everything
    // else runs as in the program, on the engine's thread.
    m_form->Sync.Engine()->SetTickMs(250);
    connect(m_form->Sync.Engine(), &TSyncEngine::CycleEnded, m_form.get(), [this] { ++m_cycles; });
    connect(m_form.get(), &TFrmPrincipal::BalloonShown, this, [this](const QString &text) { m_balloons << text; });
    connect(m_form->Sync.Engine(), &TSyncEngine::LastErrorChanged, this, [this](const QString &e) { m_lastError = e; });
    m_form->FormCreate();
}

void TestMainSync::StartConnected()
{
    StartForm({});
    QVERIFY2(m_form->ConfiguracaoCarregada(), qPrintable(m_messages.join(QLatin1Char('\n'))));
    m_form->BtnConectarClick();
    QTRY_VERIFY_WITH_TIMEOUT(m_form->TurnstileConnected(), Patience);
    QTRY_VERIFY_WITH_TIMEOUT(Synchronised(), Patience);
    QVERIFY(!m_form->BtnConectar->isEnabled());
    QVERIFY(m_form->BtnDesconectar->isEnabled());
    QVERIFY(m_messages.isEmpty());
    QVERIFY(OpenBoxes().isEmpty());
}

// --- one cycle as the window shows it -----------------------------------------

void TestMainSync::cycleShowsSynchronisedAndCounters()
{
    StartConnected();
    QVERIFY2(QRegularExpression(QStringLiteral("^SINCRONIZADO - \\d+ ms$")).match(m_form->LblStatus->text()).hasMatch(),
             qPrintable(m_form->LblStatus->text()));
    QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorDone));
    QCOMPARE(m_form->LblMemoria->text(), QStringLiteral("3 enviadas nesta sessão\n3 comandas abertas"));
    // The tooltip tells when and how many.
    QTRY_COMPARE(m_form->TI->toolTip().section(QLatin1Char('\n'), 2), QStringLiteral("Comandas abertas: 3"));
    QCOMPARE(m_form->TI->toolTip().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Catraca Kolde - sincronizado"));
    QVERIFY2(QRegularExpression(QStringLiteral("^Última sincronização: \\d\\d:\\d\\d:\\d\\d$"))
                 .match(m_form->TI->toolTip().section(QLatin1Char('\n'), 1, 1))
                 .hasMatch(),
             qPrintable(m_form->TI->toolTip()));
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"));
    // The start-up attachment was handed over: no database handle is left
    // on the window's thread.
    QVERIFY(!m_form->BDA.Connected());

    // Nothing changed: no write, no log line.
    const QByteArray log = Log();
    const int cycles = m_cycles;
    QTRY_VERIFY(m_cycles >= cycles + 3);
    QCOMPARE(m_form->LblMemoria->text(), QStringLiteral("3 enviadas nesta sessão\n3 comandas abertas"));
    QCOMPARE(Log(), log);

    // A settled tab is written closed and leaves the count of open tabs.
    Sql("fb-sql", QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = 12;"));
    QTRY_COMPARE(m_form->LblMemoria->text(), QStringLiteral("4 enviadas nesta sessão\n2 comandas abertas"));
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:1 14:0"));
    QVERIFY(Log().mid(log.size()).contains("comanda 12 gravada como fechada"));
}

// --- failures ------------------------------------------------------------------

void TestMainSync::rejectedWritesShowOneBoxThatClosesByItself()
{
    StartConnected();
    // The table goes away under the running program: every write fails while
    // the connection stays up.
    Sql("mysql-sql", QStringLiteral("rename table cad_comanda to cad_comanda_fora"));
    auto putBack = qScopeGuard([this] { Sql("mysql-sql", QStringLiteral("rename table cad_comanda_fora to cad_comanda")); });
    Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (20, 5);"));
    QTRY_COMPARE_WITH_TIMEOUT(m_form->LblStatus->text(), QStringLiteral("FALHA NA SINCRONIZAÇÃO"), Patience);
    QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorFailed));
    QTRY_COMPARE(m_form->CurrentTrayState(), TSyncTrayState::Failing);
    QCOMPARE(m_form->TI->toolTip().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Catraca Kolde - falha"));
    // And what failed, while it fails.
    QTRY_VERIFY2(m_form->TI->toolTip().section(QLatin1Char('\n'), 3).contains(QStringLiteral("gravar no banco de dados da catraca")),
                 qPrintable(m_form->TI->toolTip()));
    QVERIFY(m_form->TI->toolTip().size() <= 127);
    QTRY_COMPARE(OpenBoxes().size(), 1);
    const QString box = OpenBoxes().first();
    QVERIFY2(box.contains(QStringLiteral("Não foi possível gravar no banco de dados da catraca (%1:%2): ")
                                .arg(dbtest::Env("CATRACA_MYSQL_HOST"), dbtest::Env("CATRACA_MYSQL_PORT"))),
             qPrintable(box));
    QVERIFY2(box.contains(QStringLiteral("cad_comanda")), qPrintable(box));
    // Cycles go on under the open box, and no second box is stacked on it.
    const int cycles = m_cycles;
    QTRY_VERIFY(m_cycles >= cycles + 3);
    QTRY_VERIFY(m_form->LblMemoria->text().startsWith(QStringLiteral("7 enviadas")));
    QCOMPARE(OpenBoxes().size(), 1);
    // The connection itself is fine: the buttons stay.
    QVERIFY(m_form->TurnstileConnected());
    QVERIFY(m_form->BtnDesconectar->isEnabled());
    // A refused write is logged once, not every cycle.
    QCOMPARE(Log().count("Gravação recusada pela catraca: comanda 20"), 1);

    putBack.dismiss();
    Sql("mysql-sql", QStringLiteral("rename table cad_comanda_fora to cad_comanda"));
    QTRY_VERIFY_WITH_TIMEOUT(Synchronised(), Patience);
    QTRY_VERIFY(OpenBoxes().isEmpty());
    QCOMPARE(m_form->TI->toolTip().count(QLatin1Char('\n')), 2);
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 20:0"));
    QVERIFY(Log().contains("Sincronização restabelecida."));

    // Broken again: a new episode, a new box.
    Sql("mysql-sql", QStringLiteral("rename table cad_comanda to cad_comanda_fora"));
    auto putBackAgain =
        qScopeGuard([this] { Sql("mysql-sql", QStringLiteral("rename table cad_comanda_fora to cad_comanda")); });
    Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (22, 5);"));
    QTRY_COMPARE_WITH_TIMEOUT(OpenBoxes().size(), 1, Patience);
}

void TestMainSync::rejectedTabDoesNotHoldUpTheOthers()
{
    StartConnected();
    // The client splits on ';' unless told otherwise.
    Sql("mysql-sql", QStringLiteral("delimiter //\ncreate trigger recusa_30 before insert on cad_comanda for each row "
                                    "if new.num_comanda = 30 then signal sqlstate '45000' set message_text = "
                                    "'comanda 30 recusada'; end if //"));
    auto dropTrigger = qScopeGuard([this] { Sql("mysql-sql", QStringLiteral("drop trigger if exists recusa_30")); });
    Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (30, 5); INSERT INTO COMANDAS VALUES (31, 5); "
                                 "UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = 10;"));
    // 30 is written first (newest last in the result, written first), refused:
    // 31 and the settled 10 are written all the same.
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:1 12:0 14:0 31:0"), Patience);
    QTRY_COMPARE(m_form->CurrentTrayState(), TSyncTrayState::Failing);
    // The refused tab's delete was rolled back with its insert: the
    // turnstile never holds a tab without its row.
    dropTrigger.dismiss();
    Sql("mysql-sql", QStringLiteral("drop trigger recusa_30"));
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:1 12:0 14:0 30:0 31:0"), Patience);
    QTRY_VERIFY(Synchronised());
    QCOMPARE(Log().count("Gravação recusada pela catraca: comanda 30 (aberta): comanda 30 recusada"), 1);
}

// --- the turnstile connection ------------------------------------------------------

void TestMainSync::lostTurnstileReconnectsKeepingTheTabList()
{
    StartConnected();
    // A row the program never wrote: an automatic reconnection must not run
    // the reset that would mark it closed.
    Sql("mysql-sql", QStringLiteral("insert into cad_comanda values (99, 0)"));
    const QByteArray logBefore = Log();
    {
        dbtest::TRestartGuard restart(QStringLiteral("start-mariadb"));
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-mariadb")));
        // Nothing changes in the ERP: the liveness check finds the loss.
        QTRY_COMPARE_WITH_TIMEOUT(m_form->LblStatus->text(), QStringLiteral("SEM CONEXÃO COM A CATRACA"), Patience);
        QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorFailed));
        QTRY_VERIFY(!m_form->TurnstileConnected());
        QVERIFY(m_form->BtnConectar->isEnabled());
        // The retries can be stopped, and the icon is red until they succeed.
        QVERIFY(m_form->BtnDesconectar->isEnabled());
        QCOMPARE(m_form->CurrentTrayState(), TSyncTrayState::Failing);
        QTRY_COMPARE(OpenBoxes().size(), 1);
        QVERIFY2(OpenBoxes().first().contains(QStringLiteral("banco de dados da catraca (")),
                 qPrintable(OpenBoxes().first()));
        Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (23, 5);"));
        // Retries while the server is down open no other box; the one open
        // tells what fails now.
        QTest::qWait(4000);
        QCOMPARE(OpenBoxes().size(), 1);
        QCOMPARE(OpenBoxes().first(), m_lastError);
        QVERIFY2(m_lastError.startsWith(QStringLiteral("Não foi possível conectar")), qPrintable(m_lastError));
        // One notification for the whole outage, however many retries.
        QCOMPARE(m_balloons, QStringList{QStringLiteral("Conexão com a catraca perdida.")});
    }
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 23:0 99:0"), 40000);
    QTRY_COMPARE(m_balloons, (QStringList{QStringLiteral("Conexão com a catraca perdida."),
                                          QStringLiteral("Conexão com a catraca restabelecida.")}));
    QTRY_VERIFY(Synchronised());
    QVERIFY(m_form->TurnstileConnected());
    QVERIFY(!m_form->BtnConectar->isEnabled());
    QTRY_VERIFY(OpenBoxes().isEmpty());
    // The server was restarted, so it may have lost rows: every open tab
    // was written again, without the reset.
    const QByteArray log = Log().mid(logBefore.size());
    QVERIFY(log.contains("comanda 23 gravada como aberta"));
    QVERIFY(log.contains("comanda 10 gravada como aberta"));
    QVERIFY(log.contains("O servidor da catraca foi reiniciado"));
    QVERIFY(log.contains("Conexão com a catraca restabelecida."));
    QVERIFY(!log.contains("Conectado à catraca."));
}

void TestMainSync::userDisconnectStopsReconnection()
{
    StartConnected();
    m_form->BtnDesconectarClick();
    QTRY_VERIFY(!m_form->TurnstileConnected());
    QTRY_COMPARE(m_form->CurrentTrayState(), TSyncTrayState::Disconnected);
    QCOMPARE(m_form->TI->toolTip().section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("Catraca Kolde - desconectado da catraca"));
    QVERIFY(m_form->BtnConectar->isEnabled());
    QVERIFY(!m_form->BtnDesconectar->isEnabled());
    // Neither a tick nor a reconnection connects again, and nothing is written.
    Sql("fb-sql", QStringLiteral("INSERT INTO COMANDAS VALUES (24, 5);"));
    QTest::qWait(4000);
    QVERIFY(!m_form->TurnstileConnected());
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"));
    QVERIFY(OpenBoxes().isEmpty());
    // No green "SINCRONIZADO" left from the last cycle.
    QCOMPARE(m_form->LblStatus->text(), StatusDisconnected());
    QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorDisconnected));
    // The user's own disconnect is no lost connection.
    QVERIFY2(m_balloons.isEmpty(), qPrintable(m_balloons.join(QLatin1Char('\n'))));
}

void TestMainSync::erpOutageRecoversWithNobodyPressingAnything()
{
    StartConnected();
    {
        dbtest::TRestartGuard restart(QStringLiteral("start-firebird"));
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-firebird")));
        QTRY_COMPARE_WITH_TIMEOUT(m_form->LblStatus->text(), QStringLiteral("SEM CONEXÃO COM O ERP"), Patience);
        QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorFailed));
        QTRY_COMPARE(m_form->CurrentTrayState(), TSyncTrayState::Failing);
        QTRY_COMPARE(OpenBoxes().size(), 1);
        // The address as the settings give it, with the port when the
        // server is not on 3050.
        const QString fbPort = dbtest::Env("CATRACA_FB_PORT") == QLatin1String("3050") ? QString() : dbtest::Env("CATRACA_FB_PORT");
        const QString erpAddress =
            ErpConnectionString(dbtest::Env("CATRACA_FB_HOST"), fbPort, dbtest::Env("CATRACA_FB_DATABASE"));
        QVERIFY2(OpenBoxes().first().contains(QStringLiteral("banco de dados do ERP (%1)").arg(erpAddress)),
                 qPrintable(OpenBoxes().first()));
        // The turnstile side is untouched.
        QVERIFY(m_form->TurnstileConnected());
        // The outage lasts a while; the box stays alone and open, and
        // nobody presses it.
        QTest::qWait(20000);
        QCOMPARE(OpenBoxes().size(), 1);
        // One notification for the whole outage, however many re-attaches
        // failed meanwhile.
        QCOMPARE(m_balloons, QStringList{QStringLiteral("Conexão com o banco de dados do ERP perdida.")});
        QVERIFY2(m_form->TI->toolTip().contains(QStringLiteral("banco de dados do ERP")), qPrintable(m_form->TI->toolTip()));
    }
    Sql("fb-sql", QStringLiteral("DELETE FROM COMANDAS WHERE COM_NUMERO = 14;"));
    // The re-attach backs off (3, 6, 12, 24 s): the 20 s outage is over by the
    // try at 21 s.
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:1"), 40000);
    QTRY_VERIFY(Synchronised());
    QTRY_VERIFY(OpenBoxes().isEmpty());
    QVERIFY(Log().contains("Conexão com o banco de dados do ERP restabelecida."));
    QTRY_COMPARE(m_balloons, (QStringList{QStringLiteral("Conexão com o banco de dados do ERP perdida."),
                                          QStringLiteral("Conexão com o banco de dados do ERP restabelecida.")}));
    // Synchronised again: a cycle's success is no news.
    const int cycles = m_cycles;
    QTRY_VERIFY(m_cycles >= cycles + 3);
    QCOMPARE(m_balloons.size(), 2);
}

void TestMainSync::failedConnectIsRetriedWithItsOwnSettings()
{
    const quint16 closed = dbtest::ClosedPort();
    QVERIFY(dbtest::WriteInstallSettings(m_dir->path(), QString::number(closed)));
    StartForm({});
    m_form->BtnConectarClick();
    // The user's own click is answered, naming the side and the address.
    QTRY_COMPARE_WITH_TIMEOUT(OpenBoxes().size(), 1, Patience);
    QVERIFY2(OpenBoxes().first().startsWith(
                 QStringLiteral("Não foi possível conectar ao banco de dados da catraca (%1:%2): ")
                     .arg(dbtest::Env("CATRACA_MYSQL_HOST"))
                     .arg(closed)),
             qPrintable(OpenBoxes().first()));
    QCOMPARE(m_form->LblStatus->text(), QStringLiteral("SEM CONEXÃO COM A CATRACA"));
    QCOMPARE(TextColor(m_form->LblStatus), ColorFromBgr(StatusColorFailed));
    QVERIFY(!m_form->TurnstileConnected());
    // The retries keep to the settings the user connected with: a file
    // changed meanwhile takes effect at the user's next connect.
    QVERIFY(dbtest::WriteInstallSettings(m_dir->path()));
    QTest::qWait(4000);
    QVERIFY(!m_form->TurnstileConnected());
    m_form->BtnConectarClick();
    QTRY_VERIFY_WITH_TIMEOUT(m_form->TurnstileConnected(), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"), Patience);
    QTRY_VERIFY(OpenBoxes().isEmpty());
}

void TestMainSync::fieldCorrectedAsTheBoxAsksIsUsedAtOnce_data()
{
    QTest::addColumn<int>("field"); // in the order of turnstile::SettingKeys
    QTest::addColumn<QString>("wrong");
    QTest::addColumn<QString>("named"); // what the box asks to check
    QTest::newRow("SENHA") << 4 << QStringLiteral("errada") << QStringLiteral("Verifique os campos USUÁRIO e SENHA.");
    QTest::newRow("PORTA") << 1 << QString::number(dbtest::ClosedPort()) << QStringLiteral("o endereço e a porta");
    QTest::newRow("BASE DADOS") << 2 << QStringLiteral("catraca_nao_existe") << QStringLiteral("BASE DADOS");
}

void TestMainSync::fieldCorrectedAsTheBoxAsksIsUsedAtOnce()
{
    QFETCH(int, field);
    QFETCH(QString, wrong);
    QFETCH(QString, named);
    const QString file = m_dir->filePath(turnstile::SettingsFileName);
    turnstile::TSettingValues values = turnstile::LoadSettings(file);
    const QString right = std::exchange(values[field], wrong);
    turnstile::SaveSettings(file, values);
    StartForm({});
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTest::keyClick(m_form.get(), Qt::Key_F2);
    QTRY_COMPARE_WITH_TIMEOUT(OpenBoxes().size(), 1, Patience);
    QVERIFY2(OpenBoxes().first().contains(named), qPrintable(OpenBoxes().first()));
    // Opened beside the window, or inside it below the fields: never over them.
    QLineEdit *const edits[] = {m_form->EdtSRV, m_form->EdtPOR, m_form->EdtBDA, m_form->EdtUSU, m_form->EdtSEN};
    QLineEdit *edit = edits[field];
    const QRect fields(m_form->mapToGlobal(m_form->EdtSRV->pos()),
                       m_form->mapToGlobal(m_form->EdtSEN->geometry().bottomRight()));
    QVERIFY(!m_form->FailureBox()->frameGeometry().intersects(fields));
    // The retries alone keep the settings of the connect.
    QTest::qWait(1500);
    QVERIFY(!m_form->TurnstileConnected());

    // Corrected as the box asks: back in the window, typed in, and the field
    // left.
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTest::mouseClick(edit, Qt::LeftButton);
    edit->selectAll();
    QTest::keyClicks(edit, right);
    QElapsedTimer sinceLeft;
    sinceLeft.start();
    QTest::keyClick(edit, Qt::Key_Tab);
    QTRY_VERIFY_WITH_TIMEOUT(Synchronised(), 5000);
    qInfo("synchronised %lld ms after the field was left", sinceLeft.elapsed());
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"));
    QTRY_VERIFY(OpenBoxes().isEmpty());
    QVERIFY(Log().contains("Configurações da catraca corrigidas pelo usuário"));
    QVERIFY(m_messages.isEmpty());
}

void TestMainSync::failedResetIsOwedUntilItSucceeds()
{
    // A row left open from long ago, and a reset the turnstile refuses.
    Sql("mysql-sql", QStringLiteral("insert into cad_comanda values (77, 0)"));
    Sql("mysql-sql", QStringLiteral("create trigger recusa_reset before update on cad_comanda for each row "
                                    "signal sqlstate '45000' set message_text = 'sem permissão'"));
    auto dropTrigger = qScopeGuard([this] { Sql("mysql-sql", QStringLiteral("drop trigger if exists recusa_reset")); });
    StartForm({});
    const QByteArray logBefore = Log();
    m_form->BtnConectarClick();
    QTRY_COMPARE_WITH_TIMEOUT(OpenBoxes().size(), 1, Patience);
    QVERIFY2(OpenBoxes().first().contains(QStringLiteral("sem permissão")), qPrintable(OpenBoxes().first()));
    QTRY_COMPARE(m_form->LblStatus->text(), QStringLiteral("FALHA NA SINCRONIZAÇÃO"));
    QVERIFY(m_form->TurnstileConnected());
    // The open tabs are written; the refused reset leaves the other rows as
    // they were, and is owed still.
    QTRY_COMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 77:0"));
    QTest::qWait(1500);
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 77:0"));
    QVERIFY(!Log().mid(logBefore.size()).contains("Conectado à catraca."));

    dropTrigger.dismiss();
    Sql("mysql-sql", QStringLiteral("drop trigger recusa_reset"));
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 77:1"), Patience);
    QTRY_VERIFY(Synchronised());
    QTRY_VERIFY(OpenBoxes().isEmpty());
    QCOMPARE(Log().mid(logBefore.size()).count("Conectado à catraca."), 1);
}

void TestMainSync::erpRowsTheTurnstileCannotHoldAreSkipped()
{
    m_restoreComandas = true;
    Sql("fb-sql", QStringLiteral("ALTER TABLE COMANDAS ALTER COM_NUMERO TYPE BIGINT; COMMIT; "
                                 "INSERT INTO COMANDAS VALUES (NULL, 9); INSERT INTO COMANDAS VALUES (4294967296, 9);"));
    StartConnected();
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"));
    QCOMPARE(m_form->LblMemoria->text(), QStringLiteral("3 enviadas nesta sessão\n3 comandas abertas"));
    const int cycles = m_cycles;
    QTRY_VERIFY(m_cycles >= cycles + 3);
    // Named once with its value, not every cycle.
    QCOMPARE(Log().count("a comanda não tem número (COM_NUMERO vazio)"), 1);
    QCOMPARE(Log().count("o número 4294967296 (COM_NUMERO) não cabe na catraca"), 1);
    QVERIFY(Synchronised());
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
    QVERIFY(!m_form->ConfiguracaoCarregada());
    QTest::qWait(1000);
    QVERIFY(!m_form->TurnstileConnected());
    m_form.reset();
    QFile after(turnstileFile);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
}

void TestMainSync::hiddenStartWithClosedTurnstileRecovers()
{
    const qsizetype logBefore = Log().size();
    {
        dbtest::TRestartGuard restart(QStringLiteral("start-mariadb"));
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-mariadb")));
        StartForm({QStringLiteral("HIDE")});
        QVERIFY(m_form->ConfiguracaoCarregada());
        QVERIFY(m_messages.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(m_form->LblStatus->text(), QStringLiteral("SEM CONEXÃO COM A CATRACA"), Patience);
        // A failure, retried: red, and the retries can be stopped.
        QCOMPARE(m_form->CurrentTrayState(), TSyncTrayState::Failing);
        QVERIFY(m_form->BtnConectar->isEnabled());
        QVERIFY(m_form->BtnDesconectar->isEnabled());
        QTRY_COMPARE(OpenBoxes().size(), 1);
        QTest::qWait(3500);
    }
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"), 40000);
    QTRY_VERIFY(Synchronised());
    QTRY_VERIFY(OpenBoxes().isEmpty());
    // Never connected before: a first connection, not a restored one.
    const QByteArray log = Log().mid(logBefore);
    QCOMPARE(log.count("Conectado à catraca."), 1);
    QVERIFY(!log.contains("Conexão com a catraca restabelecida."));
}

void TestMainSync::hiddenStartWithErpDownNeverPrompts()
{
    {
        dbtest::TRestartGuard restart(QStringLiteral("start-firebird"));
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-firebird")));
        StartForm({QStringLiteral("HIDE")});
        // No prompt, no modal message: the start goes on by itself.
        QVERIFY(m_messages.isEmpty());
        QVERIFY(m_form->ConfiguracaoCarregada());
        QTRY_VERIFY_WITH_TIMEOUT(m_form->TurnstileConnected(), Patience);
        QTRY_COMPARE(OpenBoxes().size(), 1);
    }
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"), 40000);
    QTRY_VERIFY(Synchronised());
    QTRY_VERIFY(OpenBoxes().isEmpty());
}

void TestMainSync::hiddenStartWithoutTurnstileSettingsConnectsOnceWritten()
{
    const QString file = m_dir->filePath(turnstile::SettingsFileName);
    const turnstile::TSettingValues values = turnstile::LoadSettings(file);
    QVERIFY(QFile::remove(file));
    StartForm({QStringLiteral("HIDE")});
    // A failure, in the tray too, that says what is missing and what to do.
    QTRY_COMPARE_WITH_TIMEOUT(m_form->CurrentTrayState(), TSyncTrayState::Failing, Patience);
    QCOMPARE(m_form->LblStatus->text(), QStringLiteral("SEM CONEXÃO COM A CATRACA"));
    QTRY_COMPARE(OpenBoxes().size(), 1);
    QVERIFY2(OpenBoxes().first().contains(QStringLiteral("(dbxconnections.ini) não foi encontrado")),
             qPrintable(OpenBoxes().first()));
    QVERIFY(OpenBoxes().first().contains(QStringLiteral("[Driver/Connection Registry File '%1' not found]").arg(file)));
    QTRY_COMPARE(m_balloons, QStringList{QStringLiteral("Sem conexão com a catraca.")});
    QCOMPARE(m_form->EdtPOR->text(), turnstile::SettingKeys[1].def);

    // Another program puts the file there.
    turnstile::SaveSettings(file, values);
    QElapsedTimer sinceWritten;
    sinceWritten.start();
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"), 10000);
    QTRY_VERIFY(Synchronised());
    qInfo("synchronised %lld ms after the settings file was written", sinceWritten.elapsed());
    QTRY_VERIFY(OpenBoxes().isEmpty());
    QVERIFY(Log().contains("Arquivo de configurações da catraca encontrado"));
    QCOMPARE(m_balloons.last(), QStringLiteral("Conectado à catraca."));
    // The fields show what is used, not the defaults they showed.
    QCOMPARE(m_form->EdtPOR->text(), values[1]);
}

void TestMainSync::wrongErpSettingsAreFixedFromTheRunningProgram()
{
    // A hidden start with a wrong ERP port: it keeps failing by itself.
    const QString fbPort = dbtest::Env("CATRACA_FB_PORT") == QLatin1String("3050") ? QString() : dbtest::Env("CATRACA_FB_PORT");
    QFile product(m_dir->filePath(QStringLiteral("norvacomercio.ini")));
    QVERIFY(product.open(QIODevice::WriteOnly | QIODevice::Truncate));
    product.write(QStringLiteral("[IBCONFIG]\r\nIP=%1\r\nLOCAL=%2\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%3\r\nUSACONFIG=0\r\n")
                      .arg(dbtest::Env("CATRACA_FB_HOST"), dbtest::Env("CATRACA_FB_DATABASE"))
                      .arg(dbtest::ClosedPort())
                      .toUtf8());
    product.close();
    StartForm({QStringLiteral("HIDE")});
    QTRY_COMPARE_WITH_TIMEOUT(OpenBoxes().size(), 1, Patience);
    QVERIFY2(OpenBoxes().first().contains(QStringLiteral("banco de dados do ERP")), qPrintable(OpenBoxes().first()));

    // The dialog from the tray menu, answered with the right port.
    int shown = 0;
    TConnectEntries fixed;
    fixed.Host = dbtest::Env("CATRACA_FB_HOST");
    fixed.DatabasePath = dbtest::Env("CATRACA_FB_DATABASE");
    fixed.Port = fbPort;
    SetConnectPromptFactory([&shown, fixed] { return std::make_unique<TAnsweringPrompt>(shown, fixed); });
    const auto restore = qScopeGuard(
        [this] { SetConnectPromptFactory([this] { return std::make_unique<TCancellingPrompt>(m_promptShown); }); });
    QElapsedTimer sinceSaved;
    m_form->ActConfigurarErp->trigger();
    sinceSaved.start();
    QCOMPARE(shown, 1);
    QVERIFY(TIniFile(product.fileName()).ReadString(QStringLiteral("IBCONFIG"), QStringLiteral("PORTA"), QStringLiteral("?")) == fbPort);
    // Used at once: no wait for the next retry of the back-off.
    QTRY_VERIFY_WITH_TIMEOUT(m_balloons.contains(QStringLiteral("Conectado ao banco de dados do ERP.")), 5000);
    // Never reached before: nothing was lost, nothing came back.
    QCOMPARE(m_balloons.first(), QStringLiteral("Sem conexão com o banco de dados do ERP."));
    qInfo("ERP attached %lld ms after the dialog saved", sinceSaved.elapsed());
    QTRY_COMPARE_WITH_TIMEOUT(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0"), Patience);
    QTRY_VERIFY(Synchronised());
    QTRY_VERIFY(OpenBoxes().isEmpty());
}

DBTEST_MAIN(TestMainSync)
#include "tst_main_sync.moc"
