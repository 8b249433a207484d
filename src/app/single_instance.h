#pragma once
// One program per installation: the start-up entry and a start by hand must
// not synchronise in parallel. The first instance holds a lock file in the
// installation folder and listens on a local socket; a second start asks it
// to come to the front and then ends.
#include <QLockFile>
#include <QObject>
#include <memory>

class QLocalServer;

class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit TSingleInstance(const QString &installFolder, QObject *parent = nullptr);
    ~TSingleInstance() override;

    // True when this process is the installation's first; otherwise the running
    // one has been asked to show itself (as far as it could be reached).
    bool Claim();

signals:
    void activationRequested();

private:
    QString m_serverName;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
