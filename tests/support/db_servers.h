#pragma once
// What the real-server tests share: the addresses that scripts/servers.sh
// exports, a port nobody listens on, and restarting one of the servers.
#include "uikit/kr_error.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QtGlobal>
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
    } catch (const E &e) {
        if (raised)
            *raised = e;
        return e.message();
    } catch (const KrError &e) {
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

} // namespace dbtest
