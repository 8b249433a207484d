// The built program itself, started hidden in a temporary installation folder
// beside the private Firebird and MariaDB servers: tabs changed in COMANDAS
// must reach cad_comanda within two cycles, also after either server
// restarted, with nobody touching the program. CATRACA_E2E_HEADLESS=1 runs
// the same cases against the program without a window (--headless).
#include "support/db_servers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

namespace {

using dbtest::Env;

QStringList ProgramArguments()
{
    return {Env("CATRACA_E2E_HEADLESS") == QLatin1String("1") ? QStringLiteral("--headless") : QStringLiteral("HIDE")};
}

// Two cycles are 4 s; a loaded machine gets some slack.
constexpr int ConvergeMs = 10000;
// A restarted server: one failed cycle, then the reconnection's back-off.
constexpr int RecoverMs = 25000;

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void startWritesEveryOpenTab();
    void openSettleReopenDeleteConverge();
    void quietCyclesLogNothing();
    void secondStartEndsAtOnceWhileTheFirstSyncs();
    void turnstileServerRestartRecoversByItself();
    void erpServerRestartRecoversByItself();
    void sigtermEndsCleanly();
    void headlessWithoutTurnstileSettingsEnds();

private:
    // Runs one servers.sh subcommand; its standard output.
    QString Script(const QStringList &args, bool *ok = nullptr) const;
    void FbSql(const QString &sql);
    // Polls cad_comanda until it reads expected; fails with what it read last.
    bool WaitForTurnstile(const QString &expected, int timeoutMs);
    void StartProgram(QProcess &process) const;
    QByteArray Log() const;
    void RequireRunning() const;
    // Stops a server, runs between (which gives the next cycle work that
    // notices the loss), waits until a cycle failed, starts the server again.
    void RestartServer(const QString &which, const std::function<void()> &between, int logBefore);

    QString m_binary;
    std::unique_ptr<QTemporaryDir> m_install;
    std::unique_ptr<QProcess> m_program;
    QString m_lastSeen;
};

QString TestEndToEnd::Script(const QStringList &args, bool *ok) const
{
    return dbtest::ServersScriptOutput(args, ok);
}

void TestEndToEnd::FbSql(const QString &sql)
{
    bool ok = false;
    Script({QStringLiteral("fb-sql"), sql}, &ok);
    QVERIFY2(ok, qPrintable(sql));
}

bool TestEndToEnd::WaitForTurnstile(const QString &expected, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    do {
        m_lastSeen = dbtest::TurnstileRows();
        if (m_lastSeen == expected) {
            qInfo("cad_comanda reached \"%s\" after %lld ms", qPrintable(expected), clock.elapsed());
            return true;
        }
        QTest::qWait(250);
    } while (clock.elapsed() < timeoutMs);
    qWarning("expected \"%s\", last read \"%s\"", qPrintable(expected), qPrintable(m_lastSeen));
    return false;
}

void TestEndToEnd::StartProgram(QProcess &process) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CATRACA_STARTUP_WAIT_MS"), QStringLiteral("0"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::tempPath()); // never the install folder
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(m_install->filePath(QStringLiteral("catraca-sync")), ProgramArguments());
}

QByteArray TestEndToEnd::Log() const
{
    QFile f(m_install->filePath(QStringLiteral("catraca-sync.log")));
    QByteArray text = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    // The byte-order mark that opens the file is for Notepad, not a line.
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    return text;
}

void TestEndToEnd::RequireRunning() const
{
    if (!m_program || m_program->state() != QProcess::Running)
        QSKIP("the program is not running (an earlier case failed)");
}

void TestEndToEnd::RestartServer(const QString &which, const std::function<void()> &between, int logBefore)
{
    bool ok = false;
    Script({QStringLiteral("stop-") + which}, &ok);
    QVERIFY(ok);
    between();
    QElapsedTimer clock;
    clock.start();
    while (!Log().mid(logBefore).contains("Falha na sincronização") && clock.elapsed() < ConvergeMs)
        QTest::qWait(200);
    Script({QStringLiteral("start-") + which}, &ok);
    QVERIFY(ok);
    QVERIFY2(Log().mid(logBefore).contains("Falha na sincronização"), Log().mid(logBefore).constData());
}

void TestEndToEnd::initTestCase()
{
    m_binary = Env("CATRACA_BINARY");
    if (m_binary.isEmpty() || Env("CATRACA_FB_HOST").isEmpty() || Env("CATRACA_MYSQL_HOST").isEmpty()
        || Env("CATRACA_SERVERS_SCRIPT").isEmpty())
        QSKIP("needs CATRACA_BINARY and the private servers (CATRACA_FB_HOST, CATRACA_MYSQL_HOST)");

    QVERIFY(dbtest::RestoreSampleTabs());
    // Leftovers of another run, and a row that the connect must mark closed.
    Script({QStringLiteral("mysql-sql"), QStringLiteral("delete from cad_comanda; "
                                                        "insert into cad_comanda values (99, 0)")});

    m_install = std::make_unique<QTemporaryDir>();
    QVERIFY(m_install->isValid());
    QVERIFY(QFile::copy(m_binary, m_install->filePath(QStringLiteral("catraca-sync"))));
    QFile::setPermissions(m_install->filePath(QStringLiteral("catraca-sync")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(dbtest::WriteInstallSettings(m_install->path()));

    m_program = std::make_unique<QProcess>();
    StartProgram(*m_program);
    QVERIFY2(m_program->waitForStarted(10000), qPrintable(m_program->errorString()));
}

void TestEndToEnd::cleanupTestCase()
{
    // Never leave the program running, whatever happened above.
    if (m_program && m_program->state() != QProcess::NotRunning) {
        ::kill(pid_t(m_program->processId()), SIGTERM);
        if (!m_program->waitForFinished(10000)) {
            m_program->kill();
            m_program->waitForFinished(5000);
        }
    }
    if (!m_install)
        return;
    Script({QStringLiteral("start-firebird")});
    Script({QStringLiteral("start-mariadb")});
    dbtest::RestoreSampleTabs();
    Script({QStringLiteral("mysql-sql"), QStringLiteral("delete from cad_comanda")});
}

void TestEndToEnd::startWritesEveryOpenTab()
{
    RequireRunning();
    // The connect marks the stray row closed; the first cycle writes the open tabs.
    QVERIFY2(WaitForTurnstile(QStringLiteral("10:0 12:0 14:0 99:1"), ConvergeMs + 5000), qPrintable(m_lastSeen));
}

void TestEndToEnd::openSettleReopenDeleteConverge()
{
    RequireRunning();
    // A new tab, a negative number, a settled tab and a deleted row at once.
    FbSql(QStringLiteral("INSERT INTO COMANDAS VALUES (20, 5); INSERT INTO COMANDAS VALUES (-5, 1); "
                         "UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = 12; "
                         "DELETE FROM COMANDAS WHERE COM_NUMERO = 14;"));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:1 14:1 20:0 99:1"), ConvergeMs), qPrintable(m_lastSeen));
    // Settled tabs open again under the same numbers.
    FbSql(QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = 3 WHERE COM_NUMERO = 12; INSERT INTO COMANDAS VALUES (14, 2);"));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 99:1"), ConvergeMs), qPrintable(m_lastSeen));
}

void TestEndToEnd::quietCyclesLogNothing()
{
    RequireRunning();
    const QByteArray log = Log();
    QVERIFY2(log.contains("Programa iniciado"), log.constData());
    QVERIFY2(log.contains("Conectado à catraca"), log.constData());
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
    StartProgram(second);
    QVERIFY(second.waitForStarted(10000));
    if (!second.waitForFinished(10000)) {
        second.kill();
        second.waitForFinished(5000);
        QFAIL("the second start did not end");
    }
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    qInfo("second start ended after %lld ms", clock.elapsed());
    QCOMPARE(m_program->state(), QProcess::Running);
    FbSql(QStringLiteral("INSERT INTO COMANDAS VALUES (30, 7);"));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:0 99:1"), ConvergeMs),
             qPrintable(m_lastSeen));
}

void TestEndToEnd::turnstileServerRestartRecoversByItself()
{
    RequireRunning();
    const int logBefore = Log().size();
    // Only a write notices the lost server: give the next cycle one.
    RestartServer(QStringLiteral("mariadb"), [this] { FbSql(QStringLiteral("INSERT INTO COMANDAS VALUES (31, 7);")); },
                  logBefore);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:0 31:0 99:1"), RecoverMs),
             qPrintable(m_lastSeen));
    QVERIFY2(Log().mid(logBefore).contains("Conexão com a catraca restabelecida."), Log().mid(logBefore).constData());
    QCOMPARE(m_program->state(), QProcess::Running);
}

void TestEndToEnd::erpServerRestartRecoversByItself()
{
    RequireRunning();
    const int logBefore = Log().size();
    RestartServer(QStringLiteral("firebird"), [] {}, logBefore);
    if (QTest::currentTestFailed())
        return;
    FbSql(QStringLiteral("DELETE FROM COMANDAS WHERE COM_NUMERO = 30;"));
    QVERIFY2(WaitForTurnstile(QStringLiteral("-5:0 10:0 12:0 14:0 20:0 30:1 31:0 99:1"), RecoverMs),
             qPrintable(m_lastSeen));
    QVERIFY2(Log().mid(logBefore).contains("Sincronização restabelecida"), Log().mid(logBefore).constData());
    QCOMPARE(m_program->state(), QProcess::Running);
}

void TestEndToEnd::sigtermEndsCleanly()
{
    RequireRunning();
    ::kill(pid_t(m_program->processId()), SIGTERM);
    QVERIFY(m_program->waitForFinished(10000));
    QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program->exitCode(), 0);
    QVERIFY(Log().trimmed().endsWith("Programa encerrado."));
}

void TestEndToEnd::headlessWithoutTurnstileSettingsEnds()
{
    if (ProgramArguments().first() != QLatin1String("--headless"))
        QSKIP("the window asks for the settings instead");
    QVERIFY(QFile::remove(m_install->filePath(QStringLiteral("dbxconnections.ini"))));
    const int logBefore = int(Log().size());
    QProcess program;
    StartProgram(program);
    QVERIFY(program.waitForFinished(15000));
    QCOMPARE(program.exitCode(), 1);
    QVERIFY2(Log().mid(logBefore).contains("Sem as configurações da catraca o programa não pode sincronizar"),
             Log().mid(logBefore).constData());
}

DBTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
