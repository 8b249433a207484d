#pragma once
// The cycle's view of the turnstile's MySQL connection.
#include "sync/mysql_connection.h"
#include "sync/sync_ports.h"

class TMySqlTurnstileLink : public ITurnstileLink
{
public:
    explicit TMySqlTurnstileLink(TMySqlConnection &connection) : m_connection(connection) {}
    bool Connected() const override { return m_connection.Connected(); }
    void Reconnect() override
    {
        m_connection.CloseResultSets();
        m_connection.Close();
        m_connection.Open();
    }
    void ExecuteDirect(const QString &sql) override { m_connection.ExecuteDirect(sql); }
    void ExecuteAtomically(const QStringList &statements) override { m_connection.ExecuteAtomically(statements); }
    void CheckAlive() override { m_connection.Ping(); }

private:
    TMySqlConnection &m_connection;
};
