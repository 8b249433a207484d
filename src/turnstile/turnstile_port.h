#pragma once
// The engine's view of the turnstile's MySQL connection.
#include "engine/sync_ports.h"
#include "turnstile/mysql_connection.h"
#include "turnstile/turnstile_settings.h"

#include <memory>

class TMySqlTurnstilePort : public ITurnstilePort
{
public:
    // With a connection of its own (the engine's), or one the caller owns.
    TMySqlTurnstilePort() : m_owned(std::make_unique<TMySqlConnection>()), m_connection(*m_owned) {}
    explicit TMySqlTurnstilePort(TMySqlConnection &connection) : m_connection(connection) {}
    bool Connected() const override { return m_connection.Connected(); }
    void Reconnect() override
    {
        m_connection.CloseResultSets();
        m_connection.Close();
        m_connection.Open();
        NoteServer();
    }
    void ExecuteDirect(const QString &sql) override { m_connection.ExecuteDirect(sql); }
    void ExecuteAtomically(const QStringList &statements) override { m_connection.ExecuteAtomically(statements); }
    void CheckAlive() override { m_connection.Ping(); }
    QStringList LoadParams(const QString &settingsFile) override
    {
        return turnstile::LoadConnectionParams(settingsFile);
    }
    QStringList LoadWrittenParams(const QString &settingsFile) override
    {
        return turnstile::LoadWrittenConnectionParams(settingsFile, m_lastLook);
    }
    void Open(const QStringList &params) override
    {
        if (params != m_connection.Params)
            m_lastThreadId = 0; // another server numbers its own
        m_connection.Close();
        m_connection.Params = params;
        m_connection.Open();
        NoteServer();
    }
    void Close() override
    {
        m_connection.CloseResultSets();
        m_connection.Close();
    }
    QString Address() const override { return m_connection.Address(); }
    int ServerRestarts() const override { return m_restarts; }

private:
    void NoteServer()
    {
        const quint64 id = m_connection.ThreadId();
        if (id < m_lastThreadId)
            ++m_restarts;
        m_lastThreadId = id;
    }

    std::unique_ptr<TMySqlConnection> m_owned;
    TMySqlConnection &m_connection;
    QByteArray m_lastLook; // of the settings file, by the retries waiting for it
    quint64 m_lastThreadId = 0;
    int m_restarts = 0;
};
