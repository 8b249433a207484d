#include "engine/sync_engine.h"

#include "engine/event_log.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

TSyncEngine::TSyncEngine(TSyncPorts ports, QObject *parent)
    : QObject(parent)
    , m_ports(std::move(ports))
    , m_core(*this, *m_ports.Erp, *m_ports.Turnstile, *this)
    , m_wake(new QTimer(this))
{
    m_clock.start();
    m_wake->setObjectName(QStringLiteral("TMSincro"));
    m_wake->setSingleShot(true);
    connect(m_wake, &QTimer::timeout, this, &TSyncEngine::Wake);
}

TSyncEngine::~TSyncEngine() = default;

void TSyncEngine::OnLog(const QString &line)
{
    LogEvent(line);
}

void TSyncEngine::Wake()
{
    m_core.RunDue();
    Rearm();
}

void TSyncEngine::Rearm()
{
    const qint64 due = m_core.NextDueMs();
    if (due < 0) {
        m_wake->stop();
        return;
    }
    m_wake->start(int(std::max<qint64>(0, due - NowMs())));
}

void TSyncEngine::Start(const QString &erpDatabase, const QStringList &erpParams)
{
    m_core.Start(TErpSettings{erpDatabase, erpParams});
    Rearm();
}

void TSyncEngine::ConnectTurnstile(const QString &settingsFile)
{
    m_core.ConnectTurnstile(settingsFile);
    Rearm();
}

void TSyncEngine::DisconnectTurnstile()
{
    m_core.DisconnectTurnstile();
    Rearm();
}

void TSyncEngine::Stop()
{
    m_wake->stop();
    m_core.Stop();
    emit Stopped();
    if (QThread *thread = QThread::currentThread(); thread != QCoreApplication::instance()->thread())
        thread->quit();
}

// ---------------------------------------------------------------- service

TSyncService::TSyncService(TSyncPorts ports, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_engine(new TSyncEngine(std::move(ports)))
{
    qRegisterMetaType<TSyncTrayState>("TSyncTrayState");
    m_thread->setObjectName(QStringLiteral("sync-engine"));
    m_engine->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_engine, &QObject::deleteLater);
    m_thread->start();
}

TSyncService::~TSyncService()
{
    if (!Shutdown(2000)) {
        // Still inside a call that will end by its own time-out: leave the
        // thread to the end of the process rather than destroy it running.
        m_thread->setParent(nullptr);
        return;
    }
    delete m_thread;
}

void TSyncService::Start(const QString &erpDatabase, const QStringList &erpParams)
{
    QMetaObject::invokeMethod(m_engine, [e = m_engine, erpDatabase, erpParams] { e->Start(erpDatabase, erpParams); },
                              Qt::QueuedConnection);
}

void TSyncService::SetErpSettingsSource(std::function<TErpSettings()> source)
{
    QMetaObject::invokeMethod(m_engine, [e = m_engine, source] { e->SetErpSettingsSource(source); },
                              Qt::QueuedConnection);
}

void TSyncService::ConnectTurnstile(const QString &settingsFile)
{
    QMetaObject::invokeMethod(m_engine, [e = m_engine, settingsFile] { e->ConnectTurnstile(settingsFile); },
                              Qt::QueuedConnection);
}

void TSyncService::DisconnectTurnstile()
{
    QMetaObject::invokeMethod(m_engine, &TSyncEngine::DisconnectTurnstile, Qt::QueuedConnection);
}

bool TSyncService::Shutdown(int timeoutMs)
{
    if (m_shutDown)
        return m_thread->isFinished();
    m_shutDown = true;
    QMetaObject::invokeMethod(m_engine, &TSyncEngine::Stop, Qt::QueuedConnection);
    return m_thread->wait(QDeadlineTimer(timeoutMs));
}
