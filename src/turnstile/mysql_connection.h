#pragma once
// The turnstile's MySQL connection: an owner of one Connector/C handle, opened
// with the "Key=Value" entries of the [MySQL] settings section.
#include "base/kr_error.h"
#include "engine/failure_kind.h"

#include <memory>

#include <QString>
#include <QStringList>

struct st_mysql;
template <class Handle>
class TAttempts;

// A failure reported by the MySQL client; the message is the client's text.
class TMySqlError : public KrError, public IClassifiedFailure
{
public:
    TMySqlError(const QString &message, unsigned int code, bool connectionLost)
        : KrError(message), m_code(code), m_connectionLost(connectionLost) {}
    unsigned int Code() const noexcept { return m_code; }
    bool IsConnectionLost() const noexcept { return m_connectionLost; }
    TFailureKind Kind(TFailureStage stage) const override;

private:
    unsigned int m_code;
    bool m_connectionLost;
};

class TMySqlConnection
{
public:
    static constexpr int ConnectTimeoutSeconds = 5;
    static constexpr int ReadWriteTimeoutSeconds = 15;
    static constexpr unsigned int DefaultPort = 3306;

    TMySqlConnection();
    ~TMySqlConnection();
    TMySqlConnection(const TMySqlConnection &) = delete;
    TMySqlConnection &operator=(const TMySqlConnection &) = delete;

    // Keys (case-insensitive): HostName, Port, Database, User_Name, Password.
    // Other entries, such as the driver settings the section may hold, are
    // ignored. Read at every Open.
    QStringList Params;

    bool Connected() const { return m_handle != nullptr; }
    // True after a statement found the server gone; the connection has then
    // been closed. Cleared by Open and Close.
    bool ConnectionLost() const { return m_lost; }
    // Nothing happens when already connected. Waits AttemptPatience at
    // most: a connection still being made then goes on beside the next
    // Open's, and the first to answer is taken (TCallTimedOut meanwhile).
    void Open();
    void Close();
    // Statements run through ExecuteDirect keep no result open, so there is
    // nothing to close; kept so callers can follow the usual close sequence.
    void CloseResultSets() {}
    // Runs one statement; any result set it yields is discarded. Returns the
    // number of affected rows.
    qint64 ExecuteDirect(const QString &sql);
    // Runs the statements as one transaction: all of them or none. A failure
    // rolls back what ran before it (when the connection is still there).
    void ExecuteAtomically(const QStringList &statements);
    // A round trip that touches no table: raises when the server is gone.
    void Ping();
    // "host:port", as the last Open was told.
    QString Address() const { return m_address; }
    // The server's id of this connection; a server numbers its connections
    // upwards from its start, so a smaller id than before means a restart.
    quint64 ThreadId() const;

private:
    struct THandle {
        explicit THandle(st_mysql *h) : handle(h) {}
        ~THandle();
        st_mysql *handle;
    };
    static std::shared_ptr<THandle> Connect(const QStringList &params);
    [[noreturn]] void Fail();

    std::unique_ptr<TAttempts<THandle>> m_attempts;

    st_mysql *m_handle = nullptr;
    bool m_lost = false;
    QString m_address;
};
