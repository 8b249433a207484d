#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

TSingleInstance::TSingleInstance(const QString &installFolder, QObject *parent)
    : QObject(parent)
{
    const QString folder = QDir::cleanPath(QDir(installFolder).absolutePath());
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m_serverName = QStringLiteral("catraca-sync-") + QString::fromLatin1(hash);
    // In the installation folder, which every user of the machine shares:
    // the start-up entry runs for each user who logs on, and a lock in a
    // user's own temporary folder would let two programs write the same
    // table. A folder the user cannot write falls back to that one.
    const QString shared = folder + QStringLiteral("/catraca-sync.lock");
    const bool writable = QFileInfo(folder).isWritable();
    m_lock = std::make_unique<QLockFile>(writable ? shared
                                                  : QDir::tempPath() + QLatin1Char('/') + m_serverName
                                                        + QStringLiteral(".lock"));
    // A lock left by a crashed instance is taken over (QLockFile checks the pid).
    m_lock->setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::Claim()
{
    if (!m_lock->tryLock(200)) {
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(1000)) {
            socket.write("SHOW\n");
            socket.waitForBytesWritten(1000);
            // Wait for the first to say it read the request: on Windows (and
            // Wine) a pipe closed right after the write may lose what was in it.
            while (socket.state() == QLocalSocket::ConnectedState && !socket.canReadLine()
                   && socket.waitForReadyRead(2000)) {
            }
            socket.disconnectFromServer();
        }
        return false;
    }
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    // Any user's second start may ask this one to come forward.
    m_server->setSocketOptions(QLocalServer::WorldAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            const auto read = [this, s] {
                while (s->canReadLine()) {
                    if (s->readLine().trimmed() == "SHOW") {
                        emit activationRequested();
                        s->write("OK\n");
                        s->flush();
                    }
                }
                // A peer that never ends its line gets no more than this.
                if (s->bytesAvailable() > 64)
                    s->abort();
            };
            connect(s, &QLocalSocket::readyRead, this, read);
            read();
        }
    });
    m_server->listen(m_serverName);
    return true;
}
