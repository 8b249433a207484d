#include "app/single_instance.h"

#include "system/instance_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

QString TSingleInstance::NameFor(const QString &installFolder)
{
    QString folder = QDir::cleanPath(QDir(installFolder).absolutePath());
#ifdef Q_OS_WIN
    // One folder, however its name is spelt: the Run value may say c:\erp
    // where Explorer starts C:\ERP.
    folder = folder.toLower();
#endif
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("catraca-sync-") + QString::fromLatin1(hash);
}

TSingleInstance::TSingleInstance(const QString &installFolder, QObject *parent)
    : QObject(parent), m_serverName(NameFor(installFolder))
{
    m_lock = std::make_unique<platform::InstanceLock>(m_serverName.toStdString());
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::Claim()
{
    const platform::InstanceLock::Outcome outcome = m_lock->Acquire();
    if (outcome != platform::InstanceLock::Outcome::Acquired)
        m_refusal = QString::fromStdString(m_lock->Reason());
    m_lockFailed = outcome == platform::InstanceLock::Outcome::Failed;
    if (m_lockFailed)
        return false;
    if (outcome == platform::InstanceLock::Outcome::HeldElsewhere) {
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
