#pragma once
// What the real-server tests share: the addresses that scripts/servers.sh
// exports, a port nobody listens on, restarting one of the servers, and a
// main() that tells CTest when the servers were absent.
#include "base/kr_error.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <QtTest>
#include <cstdio>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dbtest {

inline QString Env(const char *name)
{
    return qEnvironmentVariable(name);
}

// Runs f and returns the text of the error it raised, or "<no error>"; an
// error of the client's own type is also kept in *raised.
template <class E = KrError, class F>
QString ErrorText(F &&f, std::optional<E> *raised = nullptr)
{
    try {
        f();
    } catch (const KrError &e) {
        if (const auto *own = dynamic_cast<const E *>(&e); own && raised)
            *raised = *own;
        return e.message();
    }
    return QStringLiteral("<no error>");
}

// A loopback port that was free a moment ago: bound, read back, released.
inline quint16 ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    quint16 port = 1;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// Runs scripts/servers.sh with one subcommand; true when it succeeded.
inline bool ServersScript(const QString &command)
{
    const QString script = Env("CATRACA_SERVERS_SCRIPT");
    if (script.isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(script, {command});
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

// Runs scripts/servers.sh with a subcommand and its arguments (such as
// "mysql-sql" and a statement); its standard output. *ok tells whether it
// succeeded; a failure's standard error goes to the test's output.
inline QString ServersScriptOutput(const QStringList &args, bool *ok = nullptr)
{
    QProcess process;
    process.start(Env("CATRACA_SERVERS_SCRIPT"), args);
    const bool done = process.waitForFinished(90000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (ok)
        *ok = done;
    if (!done)
        qWarning("servers.sh %s: %s", qPrintable(args.join(QLatin1Char(' '))),
                 process.readAllStandardError().constData());
    return QString::fromUtf8(process.readAllStandardOutput());
}

// cad_comanda as "num:flag" pairs ordered by number, or "<error>".
inline QString TurnstileRows()
{
    bool ok = false;
    const QString out = ServersScriptOutput(
        {QStringLiteral("mysql-sql"), QStringLiteral("select num_comanda, fl_comanda from cad_comanda order by num_comanda")},
        &ok);
    if (!ok)
        return QStringLiteral("<error>");
    QStringList pairs;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        pairs << line.split(QLatin1Char('\t')).join(QLatin1Char(':'));
    return pairs.join(QLatin1Char(' '));
}

// The sample tabs of servers.sh back in COMANDAS: 10, 12 and 14 open.
inline bool RestoreSampleTabs()
{
    bool ok = false;
    ServersScriptOutput({QStringLiteral("fb-sql"),
                         QStringLiteral("DELETE FROM COMANDAS; INSERT INTO COMANDAS VALUES (10, 15.50); "
                                        "INSERT INTO COMANDAS VALUES (11, 0); INSERT INTO COMANDAS VALUES (12, 42.00); "
                                        "INSERT INTO COMANDAS VALUES (13, 0); INSERT INTO COMANDAS VALUES (14, 8.90);")},
                        &ok);
    return ok;
}

// An installation folder beside the private servers: the ERP product's
// settings file (row 1 of the product table) pointing at the Firebird server,
// and dbxconnections.ini pointing at the MariaDB server (on another port when
// one is given). False when a file could not be written.
inline bool WriteInstallSettings(const QString &folder, const QString &mysqlPort = QString())
{
    const QString fbPort = Env("CATRACA_FB_PORT") == QLatin1String("3050") ? QString() : Env("CATRACA_FB_PORT");
    const QString product =
        QStringLiteral("[IBCONFIG]\r\nIP=%1\r\nLOCAL=%2\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%3\r\nUSACONFIG=0\r\n")
            .arg(Env("CATRACA_FB_HOST"), Env("CATRACA_FB_DATABASE"), fbPort);
    const QString turnstile =
        QStringLiteral("[MySQL]\r\nHostName=%1\r\nPort=%2\r\nDatabase=%3\r\nUser_Name=%4\r\nPassword=%5\r\n")
            .arg(Env("CATRACA_MYSQL_HOST"), mysqlPort.isEmpty() ? Env("CATRACA_MYSQL_PORT") : mysqlPort,
                 Env("CATRACA_MYSQL_DATABASE"), Env("CATRACA_MYSQL_USER"), Env("CATRACA_MYSQL_PASSWORD"));
    QFile productFile(folder + QStringLiteral("/norvacomercio.ini"));
    QFile turnstileFile(folder + QStringLiteral("/dbxconnections.ini"));
    return productFile.open(QIODevice::WriteOnly | QIODevice::Truncate) && productFile.write(product.toUtf8()) > 0
        && turnstileFile.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && turnstileFile.write(turnstile.toUtf8()) > 0;
}

// The private ERP database as the engine attaches to it.
inline QString ErpDatabaseName()
{
    return Env("CATRACA_FB_HOST") + QLatin1Char('/') + Env("CATRACA_FB_PORT") + QLatin1Char(':')
           + Env("CATRACA_FB_DATABASE");
}
inline QStringList ErpParams()
{
    return {QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=") + Env("CATRACA_FB_PASSWORD"),
            QStringLiteral("lc_ctype=WIN1252")};
}

// Starts the server again when the test leaves, whatever way it leaves, so
// the tests after it find the shared instance running.
class TRestartGuard
{
public:
    explicit TRestartGuard(QString startCommand) : m_start(std::move(startCommand)) {}
    ~TRestartGuard() { ServersScript(m_start); }
    TRestartGuard(const TRestartGuard &) = delete;
    TRestartGuard &operator=(const TRestartGuard &) = delete;

private:
    QString m_start;
};

// Without the servers these tests' cases skip, and QtTest calls such a run
// passed. It ends with SkippedStatus instead, which CTest reports as skipped
// (SKIP_RETURN_CODE in tests/CMakeLists.txt); a failure stays a failure.
inline constexpr int SkippedStatus = 77;
inline int StatusOfRun(int failed)
{
    if (failed != 0 || (!Env("CATRACA_FB_HOST").isEmpty() && !Env("CATRACA_MYSQL_HOST").isEmpty()))
        return failed;
    std::fprintf(stderr, "No private servers (scripts/servers.sh start, then source its env.sh): "
                         "the cases that need them were skipped, status %d.\n",
                 SkippedStatus);
    return SkippedStatus;
}

} // namespace dbtest

// QTEST_MAIN and QTEST_GUILESS_MAIN for the tests on the private servers.
#define DBTEST_MAIN_WITH(TestObject, ...)                                                                    \
    int main(int argc, char *argv[])                                                                       \
    {                                                                                                      \
        const int failed = [&] {                                                                           \
            QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestObject>();                             \
            __VA_ARGS__                                                                                    \
            TestObject tc;                                                                                 \
            QTEST_SET_MAIN_SOURCE_PATH                                                                     \
            return QTest::qExec(&tc, argc, argv);                                                          \
        }();                                                                                               \
        return dbtest::StatusOfRun(failed);                                                                \
    }
#define DBTEST_MAIN(TestObject) DBTEST_MAIN_WITH(TestObject, QTEST_MAIN_SETUP())
#define DBTEST_GUILESS_MAIN(TestObject) DBTEST_MAIN_WITH(TestObject, QTEST_QAPP_SETUP(QCoreApplication))
