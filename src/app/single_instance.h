#pragma once
// One program per installation on the whole machine: the start-up entry runs
// for every user who logs on, and two programs would write the same table,
// each connect's reset closing the other's open tabs. The first holds an
// operating-system lock named after the installation folder (released when
// it ends, however) and listens on a local socket; a second start asks it to
// come to the front and then ends.
#include <QObject>
#include <memory>

class QLocalServer;
namespace platform {
class InstanceLock;
}

class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit TSingleInstance(const QString &installFolder, QObject *parent = nullptr);
    ~TSingleInstance() override;

    // True when this process is the installation's first; otherwise the running
    // one has been asked to show itself (as far as it could be reached), or
    // the lock could not be had at all, and RefusalReason says which.
    bool Claim();
    // Portuguese: why Claim returned false.
    QString RefusalReason() const { return m_refusal; }
    // The lock's and the local socket's name for an installation folder.
    static QString NameFor(const QString &installFolder);
    // Claim found no other program but could not take the lock either.
    bool LockFailed() const { return m_lockFailed; }

signals:
    void activationRequested();

private:
    QString m_serverName;
    QString m_refusal;
    bool m_lockFailed = false;
    std::unique_ptr<platform::InstanceLock> m_lock;
    QLocalServer *m_server = nullptr;
};
