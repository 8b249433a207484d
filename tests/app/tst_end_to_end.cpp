// One end-to-end suite for every build of the program: started as a shop
// starts it (HIDE, from its installation folder, nobody at the screen) beside
// the private Firebird and MariaDB servers, each reached through the fault
// proxy. Tabs changed in COMANDAS must reach cad_comanda within two cycles,
// also after a server restarted, went silent or lost a COMMIT's answer, and
// an end asked for must end it within 3 s with status 0.
//
// CATRACA_E2E_PROGRAM picks the program:
//   window    (default) the Linux build, CATRACA_BINARY, copied to a folder
//   headless  the same, started with --headless
//   windows   the Windows build already installed by its setup in
//             CATRACA_E2E_WINDOWS_FOLDER, run by CATRACA_E2E_WINE
//             (scripts/wine-e2e-tests.sh prepares both)
// Each case's name carries the program: "firstMirrorAfterConnect(windows)".
#include "support/db_servers.h"
#include "support/fault_proxy.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

namespace {

using dbtest::Env;

// Two cycles are 4 s: what the turnstile may lag behind the ERP, plus the
// time a loaded machine takes to notice the rows.
constexpr int TwoCyclesMs = 4000;
constexpr int ConvergeSlackMs = 3000;
// A restarted or silent server: the failed cycle, the call's bound (10 s for
// a silent peer) and the reconnection's back-off.
constexpr int RecoverMs = 40000;
constexpr int EndWithinMs = 3000;

QString Program()
{
    const QString program = Env("CATRACA_E2E_PROGRAM");
    return program.isEmpty() ? QStringLiteral("window") : program;
}

bool Windows()
{
    return Program() == QLatin1String("windows");
}

bool WriteText(const QString &path, const QString &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase_data();
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void firstMirrorAfterConnect();
    void erpChangesReachTheTurnstileWithinTwoCycles();
    void quietCyclesLogNothing();
    void secondStartEndsAtOnceWhileTheFirstSyncs();
    void lostCommitAnswerThenTheSameTabReopened();
    void turnstileServerStoppedAndStarted();
    void erpServerStoppedAndStartedWithItsFileMissing();
    void turnstileAcceptsAndGoesSilent();
    void erpAcceptsAndGoesSilentThenTheEndIsAsked();
    void erpUnreachableAtAStartWithTheSystem();
    void headlessWithoutTurnstileSettingsEnds();

private:
    void FbSql(const QString &sql);
    // Polls cad_comanda until it reads expected; false with what it read last.
    bool WaitForTurnstile(const QString &expected, int timeoutMs, qint64 *tookMs = nullptr);
    void WriteSettings(const QString &database = QString());
    void Start(QProcess &process, const QString &argument = QStringLiteral("HIDE")) const;
    // SIGTERM on Linux; the end of the Windows session for the Windows build.
    void AskToEnd(QProcess &process);
    // The end asked for ends the program within the bound, with status 0.
    void VerifyEndsOnTime(QProcess &process);
    QByteArray Log() const;
    // Waits until the log, from offset on, holds text; false after timeoutMs.
    bool WaitForLog(int offset, const QString &text, int timeoutMs) const;
    void RequireRunning() const;
    // The start of a classified failure text: the side and its address
    // (the ERP's is its connection string).
    QString FailureOf(const TFaultProxy &proxy) const
    {
        if (&proxy == &m_erp)
            return QStringLiteral("banco de dados do ERP (127.0.0.1/%1:%2): ")
                .arg(proxy.Port())
                .arg(Env("CATRACA_FB_DATABASE"));
        return QStringLiteral("banco de dados da catraca (127.0.0.1:%1): ").arg(proxy.Port());
    }

    QString m_folder;
    std::unique_ptr<QTemporaryDir> m_nativeFolder;
    std::unique_ptr<QProcess> m_program;
    TFaultProxy m_erp;
    TFaultProxy m_turnstile;
    QString m_lastSeen;
};

void TestEndToEnd::FbSql(const QString &sql)
{
    bool ok = false;
    dbtest::ServersScriptOutput({QStringLiteral("fb-sql"), sql}, &ok);
    QVERIFY2(ok, qPrintable(sql));
}

bool TestEndToEnd::WaitForTurnstile(const QString &expected, int timeoutMs, qint64 *tookMs)
{
    QElapsedTimer clock;
    clock.start();
    do {
        m_lastSeen = dbtest::TurnstileRows();
        if (m_lastSeen == expected) {
            qInfo("cad_comanda reached \"%s\" after %lld ms", qPrintable(expected), clock.elapsed());
            if (tookMs)
                *tookMs = clock.elapsed();
            return true;
        }
        QTest::qWait(200);
    } while (clock.elapsed() < timeoutMs);
    qWarning("expected \"%s\", last read \"%s\"", qPrintable(expected), qPrintable(m_lastSeen));
    return false;
}

void TestEndToEnd::WriteSettings(const QString &database)
{
    QVERIFY(WriteText(m_folder + QStringLiteral("/norvacomercio.ini"),
                      QStringLiteral("[IBCONFIG]\r\nIP=127.0.0.1\r\nLOCAL=%1\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%2\r\nUSACONFIG=0\r\n")
                          .arg(database.isEmpty() ? Env("CATRACA_FB_DATABASE") : database)
                          .arg(m_erp.Port())));
    QVERIFY(WriteText(m_folder + QStringLiteral("/dbxconnections.ini"),
                      QStringLiteral("[MySQL]\r\nHostName=127.0.0.1\r\nPort=%1\r\nDatabase=%2\r\nUser_Name=%3\r\nPassword=%4\r\n")
                          .arg(m_turnstile.Port())
                          .arg(Env("CATRACA_MYSQL_DATABASE"), Env("CATRACA_MYSQL_USER"), Env("CATRACA_MYSQL_PASSWORD"))));
}

void TestEndToEnd::Start(QProcess &process, const QString &argument) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CATRACA_STARTUP_WAIT_MS"), QStringLiteral("0"));
    // The Windows build ships only its Windows platform, on Wine's display.
    if (Windows())
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    else
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::tempPath()); // never the installation folder
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (Windows())
        process.start(Env("CATRACA_E2E_WINE"), {m_folder + QStringLiteral("/catraca-sync.exe"), argument});
    else
        process.start(m_folder + QStringLiteral("/catraca-sync"),
                      {Program() == QLatin1String("headless") ? QStringLiteral("--headless") : argument});
}

void TestEndToEnd::AskToEnd(QProcess &process)
{
    if (!Windows()) {
        ::kill(pid_t(process.processId()), SIGTERM);
        return;
    }
    QProcess wineboot;
    wineboot.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    wineboot.start(Env("CATRACA_E2E_WINE"), {QStringLiteral("wineboot"), QStringLiteral("--end-session")});
    QVERIFY(wineboot.waitForStarted(5000));
    // wineboot returns once the programs answered; the program's own end is
    // what is timed.
    process.waitForFinished(EndWithinMs + 2000);
    if (!wineboot.waitForFinished(10000)) {
        qWarning("wineboot --end-session did not return");
        wineboot.kill();
        wineboot.waitForFinished(2000);
    }
}

void TestEndToEnd::VerifyEndsOnTime(QProcess &process)
{
    QCOMPARE(process.state(), QProcess::Running);
    const int logBefore = int(Log().size());
    QElapsedTimer clock;
    clock.start();
    AskToEnd(process);
    // AskToEnd may have seen the end already: a second wait would say false.
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(10000));
    qInfo("ended %lld ms after the end was asked for", clock.elapsed());
    QVERIFY2(clock.elapsed() < EndWithinMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QByteArray log = Log().mid(logBefore);
    QVERIFY2(log.trimmed().endsWith("Programa encerrado."), log.constData());
    if (Windows())
        QVERIFY2(log.contains("Fim da sessão do Windows"), log.constData());
}

QByteArray TestEndToEnd::Log() const
{
    QFile f(m_folder + QStringLiteral("/catraca-sync.log"));
    QByteArray text = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    // The byte-order mark that opens the file is for Notepad, not a line.
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    return text.replace("\r\n", "\n");
}

bool TestEndToEnd::WaitForLog(int offset, const QString &text, int timeoutMs) const
{
    const bool found = QTest::qWaitFor([&] { return QString::fromUtf8(Log().mid(offset)).contains(text); }, timeoutMs);
    if (!found)
        qWarning("the log lacks \"%s\":\n%s", qPrintable(text), Log().mid(offset).constData());
    return found;
}

void TestEndToEnd::RequireRunning() const
{
    if (!m_program || m_program->state() != QProcess::Running)
        QSKIP("the program is not running (an earlier case failed)");
}

void TestEndToEnd::initTestCase_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow(qPrintable(Program())) << Program();
}

void TestEndToEnd::initTestCase()
{
    if (Env("CATRACA_FB_HOST").isEmpty() || Env("CATRACA_MYSQL_HOST").isEmpty() || Env("CATRACA_SERVERS_SCRIPT").isEmpty()
        || Env("CATRACA_FAULT_PROXY").isEmpty())
        QSKIP("needs the private servers (CATRACA_FB_HOST, CATRACA_MYSQL_HOST) and the fault proxy");
    if (Windows()) {
        m_folder = Env("CATRACA_E2E_WINDOWS_FOLDER");
        QVERIFY2(QFile::exists(m_folder + QStringLiteral("/catraca-sync.exe")) && !Env("CATRACA_E2E_WINE").isEmpty(),
                 "CATRACA_E2E_WINDOWS_FOLDER must hold the installed catraca-sync.exe, CATRACA_E2E_WINE name wine");
        QFile::remove(m_folder + QStringLiteral("/catraca-sync.log"));
    } else {
        QVERIFY2(!Env("CATRACA_BINARY").isEmpty(), "CATRACA_BINARY is not set");
        m_nativeFolder = std::make_unique<QTemporaryDir>();
        m_folder = m_nativeFolder->path();
        QVERIFY(QFile::copy(Env("CATRACA_BINARY"), m_folder + QStringLiteral("/catraca-sync")));
        QFile::setPermissions(m_folder + QStringLiteral("/catraca-sync"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QVERIFY(m_erp.Start(Env("CATRACA_FB_HOST"), quint16(Env("CATRACA_FB_PORT").toUInt())));
    QVERIFY(m_turnstile.Start(Env("CATRACA_MYSQL_HOST"), quint16(Env("CATRACA_MYSQL_PORT").toUInt())));
    WriteSettings();

    QVERIFY(dbtest::RestoreSampleTabs());
    // Leftovers of another run, and a row that the connect must mark closed.
    bool ok = false;
    dbtest::ServersScriptOutput({QStringLiteral("mysql-sql"),
                                 QStringLiteral("delete from cad_comanda; insert into cad_comanda values (99, 0)")},
                                &ok);
    QVERIFY(ok);
    m_program = std::make_unique<QProcess>();
    Start(*m_program);
    QVERIFY2(m_program->waitForStarted(10000), qPrintable(m_program->errorString()));
}

void TestEndToEnd::cleanupTestCase()
{
    // Never leave the program running, whatever happened above.
    if (m_program && m_program->state() != QProcess::NotRunning) {
        AskToEnd(*m_program);
        if (!m_program->waitForFinished(10000)) {
            m_program->kill();
            m_program->waitForFinished(5000);
        }
    }
    if (m_folder.isEmpty())
        return;
    dbtest::ServersScript(QStringLiteral("start-firebird"));
    dbtest::ServersScript(QStringLiteral("start-mariadb"));
    dbtest::RestoreSampleTabs();
    dbtest::ServersScriptOutput({QStringLiteral("mysql-sql"), QStringLiteral("delete from cad_comanda")});
}

void TestEndToEnd::cleanup()
{
    // A case that failed half-way leaves neither a server down nor a peer
    // misbehaving for the next.
    if (!QTest::currentTestFailed())
        return;
    dbtest::ServersScript(QStringLiteral("start-firebird"));
    dbtest::ServersScript(QStringLiteral("start-mariadb"));
    m_erp.Command(QStringLiteral("pass"));
    m_turnstile.Command(QStringLiteral("pass"));
    WriteSettings();
}

void TestEndToEnd::firstMirrorAfterConnect()
{
    RequireRunning();
    // 99 closed proves the reset ran; 10 to 14 open that it ran first.
    QVERIFY2(WaitForTurnstile(QStringLiteral("10:0 12:0 14:0 99:1"), 30000), qPrintable(m_lastSeen));
    QVERIFY(WaitForLog(0, QStringLiteral("Conectado à catraca"), 1000));
}

void TestEndToEnd::erpChangesReachTheTurnstileWithinTwoCycles()
{
    RequireRunning();
    struct Step {
        const char *sql;
        const char *rows;
    };
    const Step steps[] = {
        // A new tab, a negative number, a settled tab and a deleted row at once.
        {"INSERT INTO COMANDAS VALUES (20, 5); INSERT INTO COMANDAS VALUES (-5, 1); "
         "UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = 12; DELETE FROM COMANDAS WHERE COM_NUMERO = 14;",
         "-5:0 10:0 12:1 14:1 20:0 99:1"},
        // Settled tabs open again under the same numbers.
        {"UPDATE COMANDAS SET COM_TOTAL = 3 WHERE COM_NUMERO = 12; INSERT INTO COMANDAS VALUES (14, 2);",
         "-5:0 10:0 12:0 14:0 20:0 99:1"},
    };
    for (const Step &step : steps) {
        FbSql(QString::fromLatin1(step.sql));
        qint64 took = 0;
        QVERIFY2(WaitForTurnstile(QString::fromLatin1(step.rows), TwoCyclesMs + ConvergeSlackMs, &took),
                 qPrintable(m_lastSeen));
    }
}

void TestEndToEnd::quietCyclesLogNothing()
{
    RequireRunning();
    const QByteArray log = Log();
    QVERIFY2(log.contains("Programa iniciado"), log.constData());
    QVERIFY2(log.contains("comanda 12 gravada como fechada"), log.constData());
    // Every line carries its time.
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    for (const QByteArray &line : log.split('\n'))
        if (!line.isEmpty())
            QVERIFY2(stamp.match(QString::fromUtf8(line)).hasMatch(), line.constData());
    // Three ticks with nothing to write.
    QTest::qWait(6500);
    QCOMPARE(Log().size(), log.size());
}

void TestEndToEnd::secondStartEndsAtOnceWhileTheFirstSyncs()
{
    RequireRunning();
    QProcess second;
    QElapsedTimer clock;
    clock.start();
    Start(second);
    QVERIFY(second.waitForStarted(10000));
    if (!second.waitForFinished(20000)) {
        second.kill();
        second.waitForFinished(5000);
        QFAIL("the second start did not end");
    }
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    qInfo("second start ended after %lld ms", clock.elapsed());
    QCOMPARE(m_program->state(), QProcess::Running);
    FbSql(QStringLiteral("INSERT INTO COMANDAS VALUES (30, 7);"));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:0 99:1"), TwoCyclesMs + ConvergeSlackMs),
             qPrintable(m_lastSeen));
    // The window comes forward; without one there is nothing to bring.
    if (Program() != QLatin1String("headless"))
        QVERIFY(WaitForLog(0, QStringLiteral("O programa foi aberto novamente"), 5000));
}

void TestEndToEnd::lostCommitAnswerThenTheSameTabReopened()
{
    RequireRunning();
    const int logBefore = int(Log().size());
    // The close of tab 12 is committed, but the program never hears it, and
    // the turnstile stays away until the ERP has the tab open again.
    QVERIFY(m_turnstile.Command(QStringLiteral("losecommit")));
    FbSql(QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = 12;"));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:1 14:0 20:0 30:0 99:1"), TwoCyclesMs + ConvergeSlackMs),
             qPrintable(m_lastSeen));
    FbSql(QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = 9 WHERE COM_NUMERO = 12;"));
    QVERIFY(WaitForLog(logBefore, QStringLiteral("Falha na sincronização"), 10000));
    // Cycles that read the tab open while the turnstile cannot be written.
    QTest::qWait(2 * TwoCyclesMs);
    QVERIFY(m_turnstile.Command(QStringLiteral("pass")));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:0 99:1"), RecoverMs), qPrintable(m_lastSeen));
}

void TestEndToEnd::turnstileServerStoppedAndStarted()
{
    RequireRunning();
    const int logBefore = int(Log().size());
    QVERIFY(dbtest::ServersScript(QStringLiteral("stop-mariadb")));
    // Only a write notices the lost server: give the next cycle one.
    FbSql(QStringLiteral("INSERT INTO COMANDAS VALUES (31, 7);"));
    // The client's own error codes, classified: the turnstile side, its address, the cause.
    const QString text = FailureOf(m_turnstile);
    const bool failed = WaitForLog(logBefore, QStringLiteral("Falha na sincronização: "), 15000);
    QVERIFY(dbtest::ServersScript(QStringLiteral("start-mariadb")));
    QVERIFY(failed);
    QVERIFY(WaitForLog(logBefore, text + QStringLiteral("o servidor não respondeu."), 1000)
            || WaitForLog(logBefore, text + QStringLiteral("a conexão com o servidor caiu."), 1000));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:0 31:0 99:1"), RecoverMs),
             qPrintable(m_lastSeen));
    QVERIFY(WaitForLog(logBefore, QStringLiteral("Conexão com a catraca restabelecida."), 5000));
}

void TestEndToEnd::erpServerStoppedAndStartedWithItsFileMissing()
{
    RequireRunning();
    const int logBefore = int(Log().size());
    QVERIFY(dbtest::ServersScript(QStringLiteral("stop-firebird")));
    const QString text = FailureOf(m_erp);
    QVERIFY(WaitForLog(logBefore, text + QStringLiteral("o servidor não respondeu."), 15000));
    // The server is back, but the settings name a file it does not have: a
    // re-attach reads them again, and the server's own refusal is classified.
    WriteSettings(Env("CATRACA_FB_DATABASE") + QStringLiteral(".ausente"));
    QVERIFY(dbtest::ServersScript(QStringLiteral("start-firebird")));
    QVERIFY(WaitForLog(logBefore,
                       text.left(text.size() - 3) + QStringLiteral(".ausente): o arquivo do banco de dados não foi "
                                                                   "encontrado no servidor"),
                       RecoverMs));
    WriteSettings();
    FbSql(QStringLiteral("DELETE FROM COMANDAS WHERE COM_NUMERO = 30;"));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:1 31:0 99:1"), RecoverMs),
             qPrintable(m_lastSeen));
    QVERIFY(WaitForLog(logBefore, QStringLiteral("Sincronização restabelecida"), 5000));
}

void TestEndToEnd::turnstileAcceptsAndGoesSilent()
{
    RequireRunning();
    const int logBefore = int(Log().size());
    // The connection is cut; every new one is accepted, then never answered.
    QVERIFY(m_turnstile.Command(QStringLiteral("acceptsilent")));
    QVERIFY(m_turnstile.Command(QStringLiteral("reset")));
    FbSql(QStringLiteral("INSERT INTO COMANDAS VALUES (32, 7);"));
    // Its new connections never get past the login: the connect's bound.
    QVERIFY(WaitForLog(logBefore, FailureOf(m_turnstile) + QStringLiteral("o servidor não respondeu."), 30000));
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:1 31:0 99:1"));
    QVERIFY(m_turnstile.Command(QStringLiteral("pass")));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:1 31:0 32:0 99:1"), RecoverMs),
             qPrintable(m_lastSeen));
}

void TestEndToEnd::erpAcceptsAndGoesSilentThenTheEndIsAsked()
{
    RequireRunning();
    const int logBefore = int(Log().size());
    QVERIFY(m_erp.Command(QStringLiteral("acceptsilent")));
    QVERIFY(m_erp.Command(QStringLiteral("reset")));
    FbSql(QStringLiteral("INSERT INTO COMANDAS VALUES (42, 5);"));
    // A re-attach runs into the silence and is given up at its bound.
    QVERIFY(WaitForLog(logBefore, FailureOf(m_erp) + QStringLiteral("o servidor parou de responder."), 30000));
    QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:1 31:0 32:0 99:1"));
    QVERIFY(m_erp.Command(QStringLiteral("pass")));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:1 31:0 32:0 42:0 99:1"), RecoverMs),
             qPrintable(m_lastSeen));

    // Silent again, and the end is asked for while a re-attach waits on it.
    QVERIFY(m_erp.Command(QStringLiteral("acceptsilent")));
    QVERIFY(m_erp.Command(QStringLiteral("reset")));
    QTest::qWait(2 * TwoCyclesMs);
    VerifyEndsOnTime(*m_program);
    QVERIFY(m_erp.Command(QStringLiteral("pass")));
}

void TestEndToEnd::erpUnreachableAtAStartWithTheSystem()
{
    QVERIFY(m_program->state() == QProcess::NotRunning);
    // What the turnstile held when the PC went down, tab 10 settled since.
    bool ok = false;
    dbtest::ServersScriptOutput({QStringLiteral("mysql-sql"),
                                 QStringLiteral("delete from cad_comanda; insert into cad_comanda values (10, 0), "
                                                "(12, 0), (14, 0), (77, 0)")},
                                &ok);
    QVERIFY(ok);
    FbSql(QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = 10;"));
    QVERIFY(m_erp.Command(QStringLiteral("blackhole")));
    const int logBefore = int(Log().size());
    Start(*m_program);
    QVERIFY(m_program->waitForStarted(10000));
    // Until the ERP was read, no row may turn closed: the reset waits too.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
        QCOMPARE(dbtest::TurnstileRows(), QStringLiteral("10:0 12:0 14:0 77:0"));
        QTest::qWait(250);
    }
    QVERIFY(WaitForLog(logBefore, FailureOf(m_erp) + QStringLiteral("o servidor não respondeu."), 20000));
    QVERIFY(m_erp.Command(QStringLiteral("pass")));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:1 12:0 14:0 20:0 31:0 32:0 42:0 77:1"), RecoverMs),
             qPrintable(m_lastSeen));

    // And the end, asked for while the turnstile's host is silent.
    QVERIFY(m_turnstile.Command(QStringLiteral("blackhole")));
    QVERIFY(m_turnstile.Command(QStringLiteral("partition")));
    FbSql(QStringLiteral("INSERT INTO COMANDAS VALUES (43, 5);"));
    QTest::qWait(2 * TwoCyclesMs);
    VerifyEndsOnTime(*m_program);
    QVERIFY(m_turnstile.Command(QStringLiteral("pass")));
}

void TestEndToEnd::headlessWithoutTurnstileSettingsEnds()
{
    if (Program() != QLatin1String("headless"))
        QSKIP("the window asks for the settings instead");
    QVERIFY(QFile::remove(m_folder + QStringLiteral("/dbxconnections.ini")));
    const int logBefore = int(Log().size());
    QProcess program;
    Start(program);
    QVERIFY(program.waitForFinished(15000));
    QCOMPARE(program.exitCode(), 1);
    QVERIFY(WaitForLog(logBefore, QStringLiteral("Sem as configurações da catraca o programa não pode sincronizar"), 1000));
}

DBTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
