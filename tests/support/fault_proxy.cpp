// A TCP proxy on loopback that misbehaves on command, for the tests of what
// the program does when a server's host goes silent, refuses or resets.
//
//   fault_proxy <target-host> <target-port>
//
// Listens on a free loopback port and prints "port N". Then reads commands,
// one per line on standard input, and answers each with "ok <command>":
//   pass          new connections are forwarded (the default)
//   blackhole     new connections are accepted and never answered
//   acceptsilent  new connections are forwarded until the server's first
//                 answer (a protocol's accept) has reached the client, then
//                 go silent both ways
//   partition     every open connection goes silent both ways: no FIN, no
//                 RST, the data is swallowed (they stay dead after "pass")
//   silentafter T once client data holding the text T has passed and the
//                 server's answer to it has reached the client, that
//                 connection goes silent both ways and new ones are
//                 blackholed (until "pass")
//   drop N        every N-th new connection is closed at once (0: none)
//   reset         every open connection is reset
//   losecommit    the next MySQL COMMIT a client sends reaches the server, but
//                 its answer is swallowed: that connection is reset as the
//                 answer arrives, and new connections are blackholed from
//                 then on (until "pass"), so the client cannot learn the
//                 outcome before the test has looked
// It ends when standard input closes.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <list>
#include <memory>
#include <unistd.h>

namespace {

struct Link {
    QTcpSocket *client = nullptr;
    QTcpSocket *server = nullptr; // null for a blackholed connection
    bool silent = false;
    bool silentAfterAnswer = false;
    bool loseAnswer = false; // the server's next answer is the lost one
};

class Proxy : public QObject
{
public:
    Proxy(QString host, quint16 port) : m_host(std::move(host)), m_port(port)
    {
        connect(&m_listener, &QTcpServer::newConnection, this, &Proxy::Accept);
    }
    bool Listen() { return m_listener.listen(QHostAddress::LocalHost, 0); }
    quint16 Port() const { return m_listener.serverPort(); }

    QString Command(const QString &line)
    {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString verb = words.value(0);
        if (verb == u"pass") {
            m_blackhole = false;
            m_acceptSilent = false;
            m_dropEvery = 0;
            m_silentAfter.clear();
            m_loseCommit = false;
        } else if (verb == u"blackhole") {
            m_blackhole = true;
        } else if (verb == u"silentafter") {
            m_silentAfter = line.section(QLatin1Char(' '), 1).toUtf8();
        } else if (verb == u"acceptsilent") {
            m_acceptSilent = true;
        } else if (verb == u"partition") {
            for (auto &link : m_links)
                link->silent = true;
        } else if (verb == u"drop") {
            m_dropEvery = words.value(1).toInt();
            m_accepted = 0;
        } else if (verb == u"losecommit") {
            m_loseCommit = true;
        } else if (verb == u"reset") {
            const auto links = m_links;
            for (const auto &link : links) {
                link->client->abort();
                if (link->server)
                    link->server->abort();
            }
        } else {
            return QStringLiteral("error unknown command");
        }
        return QStringLiteral("ok ") + line;
    }

private:
    void Accept()
    {
        while (QTcpSocket *client = m_listener.nextPendingConnection()) {
            ++m_accepted;
            if (m_dropEvery > 0 && m_accepted % m_dropEvery == 0) {
                client->abort();
                client->deleteLater();
                continue;
            }
            auto link = std::make_shared<Link>();
            link->client = client;
            m_links.push_back(link);
            connect(client, &QTcpSocket::disconnected, this, [this, link] { Drop(link); });
            if (m_blackhole) {
                // Read and forget, so the client's writes never block.
                connect(client, &QTcpSocket::readyRead, client, [client] { client->readAll(); });
                continue;
            }
            link->silentAfterAnswer = m_acceptSilent;
            link->server = new QTcpSocket(this);
            connect(link->server, &QTcpSocket::disconnected, this, [this, link] { Drop(link); });
            connect(link->server, &QTcpSocket::errorOccurred, this, [this, link] { Drop(link); });
            connect(client, &QTcpSocket::readyRead, this, [this, link] { Forward(*link, link->client, link->server); });
            connect(link->server, &QTcpSocket::readyRead, this, [this, link] { Forward(*link, link->server, link->client); });
            connect(link->server, &QTcpSocket::connected, this, [this, link] { Forward(*link, link->client, link->server); });
            link->server->connectToHost(m_host, m_port);
        }
    }

    void Forward(Link &link, QTcpSocket *from, QTcpSocket *to)
    {
        if (!to || to->state() != QAbstractSocket::ConnectedState)
            return; // kept in from's buffer until the other side is there
        const QByteArray data = from->readAll();
        if (from == link.client && !m_silentAfter.isEmpty() && data.contains(m_silentAfter)) {
            m_silentAfter.clear();
            m_blackhole = true;
            link.silentAfterAnswer = true;
        }
        if (link.loseAnswer && from == link.server) {
            // The server has committed; the client never hears it.
            link.loseAnswer = false;
            m_blackhole = true;
            link.client->abort();
            link.server->abort();
            return;
        }
        // A COM_QUERY packet (command byte 3 after the 4-byte header).
        if (m_loseCommit && from == link.client && data.size() > 4 && data.at(4) == 3
            && data.mid(5).trimmed().toUpper() == "COMMIT") {
            m_loseCommit = false;
            link.loseAnswer = true;
        }
        if (!link.silent)
            to->write(data);
        if (link.silentAfterAnswer && from == link.server)
            link.silent = true;
    }

    void Drop(const std::shared_ptr<Link> &link)
    {
        // A silent link stays open on the client's side: that is the point.
        if (link->silent || !link->client)
            return;
        m_links.remove(link);
        link->client->disconnectFromHost();
        link->client->deleteLater();
        if (link->server) {
            link->server->disconnectFromHost();
            link->server->deleteLater();
        }
        link->client = nullptr;
    }

    QString m_host;
    quint16 m_port;
    QTcpServer m_listener;
    std::list<std::shared_ptr<Link>> m_links;
    bool m_blackhole = false;
    bool m_acceptSilent = false;
    QByteArray m_silentAfter;
    bool m_loseCommit = false;
    int m_dropEvery = 0;
    int m_accepted = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: fault_proxy <target-host> <target-port>\n");
        return 2;
    }
    Proxy proxy(QString::fromLocal8Bit(argv[1]), quint16(QByteArray(argv[2]).toUInt()));
    if (!proxy.Listen()) {
        std::fprintf(stderr, "fault_proxy: cannot listen\n");
        return 1;
    }
    std::printf("port %u\n", unsigned(proxy.Port()));
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            std::printf("%s\n", qPrintable(proxy.Command(line)));
            std::fflush(stdout);
        }
    });
    return app.exec();
}
