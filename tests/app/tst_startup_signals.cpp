// The built program answers the system at any moment of its start: SIGTERM
// and SIGINT end it within 3 s with status 0 also while the start-up wait,
// a start-up box or the ERP prompt is showing, and a second start during the
// wait is answered. The user's own end does the same: Esc in the window a
// second start brought up during the wait, the ERP prompt's Cancel. While it synchronises, a termination request never lets
// the database client's own handlers drop the ERP attachment first.
#include "support/db_servers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

using dbtest::Env;

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class TestStartupSignals : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void endsAtOnceWhileStarting_data();
    void endsAtOnceWhileStarting();
    void secondStartDuringTheWaitIsAnswered();
    void userEndDuringStartUp_data();
    void userEndDuringStartUp();
    void terminationWhileSynchronisingLeavesNoFailure();

private:
    void Start(QProcess &program, const QTemporaryDir &install, const QStringList &args, const QString &waitMs,
               const QString &display = {});
    static QByteArray Log(const QTemporaryDir &install);

    QString m_binary;
};

void TestStartupSignals::initTestCase()
{
    m_binary = Env("CATRACA_BINARY");
    if (m_binary.isEmpty())
        QSKIP("CATRACA_BINARY is not set");
}

void TestStartupSignals::Start(QProcess &program, const QTemporaryDir &install, const QStringList &args,
                               const QString &waitMs, const QString &display)
{
    const QString exe = install.filePath(QStringLiteral("catraca-sync"));
    if (!QFile::exists(exe))
        QVERIFY(QFile::copy(m_binary, exe));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CATRACA_STARTUP_WAIT_MS"), waitMs);
    if (display.isEmpty()) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), display);
    }
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(exe, args);
    QVERIFY(program.waitForStarted());
}

QByteArray TestStartupSignals::Log(const QTemporaryDir &install)
{
    QFile f(install.filePath(QStringLiteral("catraca-sync.log")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestStartupSignals::endsAtOnceWhileStarting_data()
{
    QTest::addColumn<QByteArray>("product");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("signal");
    const QByteArray closedErp = QStringLiteral("[IBCONFIG]\r\nIP=127.0.0.1\r\nLOCAL=/nada/DBEMPRESA.FDB\r\nUSUARIO=\r\n"
                                                "SENHA=\r\nPORTA=%1\r\nUSACONFIG=0\r\n")
                                     .arg(dbtest::ClosedPort())
                                     .toUtf8();
    // The wait for the database server of a start with the system.
    QTest::newRow("wait, SIGTERM") << closedErp << QStringList{QStringLiteral("HIDE")} << int(SIGTERM);
    QTest::newRow("wait, SIGINT") << closedErp << QStringList{QStringLiteral("HIDE")} << int(SIGINT);
    // The box of a stored ERP connection that fails ("Erro ao conectar").
    QTest::newRow("start-up box") << closedErp << QStringList{} << int(SIGTERM);
    // Nothing stored to connect with: the ERP prompt.
    QTest::newRow("ERP prompt") << QByteArray("[IBCONFIG]\r\n") << QStringList{} << int(SIGTERM);
}

void TestStartupSignals::endsAtOnceWhileStarting()
{
    QFETCH(QByteArray, product);
    QFETCH(QStringList, args);
    QFETCH(int, signal);
    QTemporaryDir install;
    QVERIFY(WriteFile(install.filePath(QStringLiteral("norvacomercio.ini")), product));
    QProcess program;
    Start(program, install, args, QStringLiteral("30000"));
    // Well inside the wait, the box or the prompt.
    QTest::qWait(2500);
    QCOMPARE(program.state(), QProcess::Running);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(10000));
    qInfo("ended %lld ms after the signal", clock.elapsed());
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(Log(install).trimmed().endsWith("Programa encerrado."));
}

void TestStartupSignals::secondStartDuringTheWaitIsAnswered()
{
    QTemporaryDir install;
    QVERIFY(WriteFile(install.filePath(QStringLiteral("norvacomercio.ini")), "[IBCONFIG]\r\n"));
    QProcess first;
    Start(first, install, {QStringLiteral("HIDE")}, QStringLiteral("30000"));
    QTest::qWait(1500);
    QProcess second;
    Start(second, install, {}, QStringLiteral("0"));
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(Log(install).contains("O programa foi aberto novamente; a janela já aberta"), 3000);
    QVERIFY(!Log(install).contains("Conectado"));
    ::kill(pid_t(first.processId()), SIGTERM);
    QVERIFY(first.waitForFinished(5000));
    QCOMPARE(first.exitCode(), 0);
}

void TestStartupSignals::userEndDuringStartUp_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("window");
    // Started with the system, the window brought up by a second start.
    QTest::newRow("wait, Esc") << QStringList{QStringLiteral("HIDE")} << QStringLiteral("Catracas Ovrex");
    // Nothing stored to connect with: the prompt, cancelled.
    QTest::newRow("ERP prompt, Cancel") << QStringList{} << QStringLiteral("Banco de Dados");
}

void TestStartupSignals::userEndDuringStartUp()
{
    QFETCH(QStringList, args);
    QFETCH(QString, window);
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("needs Xvfb and xdotool (scripts/install-deps.sh installs them)");
    QProcess xvfb;
    // Xvfb picks a free display and names it on the descriptor given.
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp")});
    QVERIFY(xvfb.waitForStarted(10000));
    QElapsedTimer named;
    named.start();
    while (!xvfb.canReadLine() && named.elapsed() < 10000)
        xvfb.waitForReadyRead(200);
    const QString display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine().trimmed());
    auto stopXvfb = qScopeGuard([&xvfb] {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    });

    QTemporaryDir install;
    QVERIFY(WriteFile(install.filePath(QStringLiteral("norvacomercio.ini")), "[IBCONFIG]\r\n"));
    QProcess program;
    Start(program, install, args, QStringLiteral("30000"), display);
    if (!args.isEmpty()) {
        QTest::qWait(1500);
        QProcess second;
        Start(second, install, {}, QStringLiteral("0"), display);
        QVERIFY(second.waitForFinished(5000));
    }
    // xdotool may fail on a window still being mapped (tried again), or on
    // the window that its key has just closed: the program's end decides.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    for (int attempt = 0; attempt < 5 && program.state() != QProcess::NotRunning; ++attempt) {
        QProcess xdotool;
        xdotool.setProcessEnvironment(env);
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--sync"),
                                                  QStringLiteral("--onlyvisible"), QStringLiteral("--name"), window,
                                                  QStringLiteral("windowfocus"), QStringLiteral("sleep"),
                                                  QStringLiteral("0.5"), QStringLiteral("key"),
                                                  QStringLiteral("Escape")});
        if (!xdotool.waitForFinished(20000))
            xdotool.kill();
        xdotool.waitForFinished(2000);
        program.waitForFinished(3000);
    }
    QVERIFY2(program.state() == QProcess::NotRunning, Log(install).constData());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QByteArray log = Log(install);
    QVERIFY2(log.contains("Encerramento pedido durante a inicialização.") && log.trimmed().endsWith("Programa encerrado."),
             log.constData());
    QVERIFY2(!log.contains("Não foi possível conectar"), log.constData());
}

void TestStartupSignals::terminationWhileSynchronisingLeavesNoFailure()
{
    if (Env("CATRACA_FB_HOST").isEmpty() || Env("CATRACA_MYSQL_HOST").isEmpty())
        QSKIP("needs the private servers");
    QTemporaryDir install;
    QVERIFY(dbtest::WriteInstallSettings(install.path()));
    QVERIFY(dbtest::RestoreSampleTabs());
    QProcess program;
    Start(program, install, {QStringLiteral("HIDE")}, QStringLiteral("0"));
    QTRY_VERIFY_WITH_TIMEOUT(Log(install).contains("Conectado à catraca."), 15000);
    // Several cycles, each reading the ERP.
    QTest::qWait(5000);
    ::kill(pid_t(program.processId()), SIGINT);
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitCode(), 0);
    const QByteArray log = Log(install);
    const QByteArray tail = log.mid(log.indexOf("Pedido de encerramento"));
    QVERIFY2(!tail.contains("Falha"), tail.constData());
    QVERIFY2(!log.contains("connection shutdown"), log.constData());
}

DBTEST_GUILESS_MAIN(TestStartupSignals)
#include "tst_startup_signals.moc"
