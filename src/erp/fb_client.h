#pragma once
// Thin owners of the Firebird client's handles (attachment, transaction,
// statement). Every handle is released by its owner, also when the server has
// gone away: the client library crashes at process end when an attachment of a
// dead server is still open.
#include "base/kr_error.h"
#include "engine/failure_kind.h"

#include <ibase.h>

#include <QString>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <vector>

class TFbTransaction;
class TFbQuery;

// The client library installs its own SIGINT and SIGTERM handlers at its
// first attach, which shut every attachment down behind the program's back.
// Called once at start, before the program installs its own handlers, so
// that the program's come last and win.
void SettleFbClientSignalHandlers() noexcept;

// A failure reported by the Firebird client; the message is the server's text.
class TFbError : public KrError, public IClassifiedFailure
{
public:
    // The code of a failure that never reached the client: its library could
    // not be loaded.
    static constexpr ISC_STATUS ClientNotLoaded = 0;

    TFbError(const QString &message, ISC_STATUS gdsCode, bool connectionLost, QList<ISC_STATUS> allCodes = {})
        : KrError(message), m_gdsCode(gdsCode), m_connectionLost(connectionLost), m_allCodes(std::move(allCodes)) {}
    ISC_STATUS GdsCode() const noexcept { return m_gdsCode; }
    // Every error code of the status vector, the first one included: the
    // first is often only "Dynamic SQL Error", and the cause follows it.
    bool HasCode(ISC_STATUS code) const noexcept { return code == m_gdsCode || m_allCodes.contains(code); }
    // The attachment is unusable (server stopped, restarted or unreachable).
    bool IsConnectionLost() const noexcept { return m_connectionLost; }
    TFailureKind Kind(TFailureStage stage) const override;

private:
    ISC_STATUS m_gdsCode;
    bool m_connectionLost;
    QList<ISC_STATUS> m_allCodes;
};

// Empty when the Firebird client library is loaded; otherwise the Portuguese
// message naming the file that is missing. Loads the client on first use.
QString FbClientError();
// Full path of the loaded client library.
QString FbClientPath();
// For the log: which client file was loaded, and its version when it tells.
QString FbClientLoadedText();

class TFbDatabase
{
public:
    TFbDatabase();
    ~TFbDatabase();
    TFbDatabase(const TFbDatabase &) = delete;
    TFbDatabase &operator=(const TFbDatabase &) = delete;

    // "host:path" or "host/port:path".
    QString DatabaseName;
    // "user_name=...", "password=...", "lc_ctype=...", "sql_role_name=...",
    // "connect_timeout=<seconds>" (10 when absent). Blank lines are ignored.
    QStringList Params;

    bool Connected() const { return m_handle != 0; }
    // True after a call found the attachment dead; cleared by Open and Close.
    bool ConnectionLost() const { return m_lost; }
    void Open();
    // Closes the queries, rolls back the transactions still active, detaches.
    void Close();
    void CloseDataSets();
    // Attaches again when the last attachment was lost; true when it did.
    bool ReopenIfLost();
    // Safe from another thread: interrupts the call running on this
    // attachment (that call then fails with isc_cancelled). With abort the
    // client's side of the connection is closed too, which is all that frees
    // a call waiting on a peer that went silent. False when not attached or
    // refused.
    bool CancelOperation(bool abort = false) noexcept;

private:
    friend class TFbTransaction;
    friend class TFbQuery;
    // Releases every handle after the attachment died, ignoring further errors.
    void DropLostAttachment();
    [[noreturn]] void Fail(const ISC_STATUS *status);

    isc_db_handle m_handle = 0;
    // A copy of m_handle for CancelOperation's thread.
    std::atomic<isc_db_handle> m_cancelHandle{0};
    bool m_lost = false;
    std::vector<TFbTransaction *> m_transactions;
    std::vector<TFbQuery *> m_queries;
};

class TFbTransaction
{
public:
    TFbTransaction();
    // Rolls back when still active.
    ~TFbTransaction();
    TFbTransaction(const TFbTransaction &) = delete;
    TFbTransaction &operator=(const TFbTransaction &) = delete;

    // "read_committed", "rec_version", "no_rec_version", "nowait", "wait",
    // "read", "write", "concurrency", "consistency".
    QStringList Params;

    TFbDatabase *DefaultDatabase() const { return m_database; }
    void SetDefaultDatabase(TFbDatabase *database);
    bool Active() const { return m_handle != 0; }
    void StartTransaction();
    // Both close the open queries of this transaction first.
    void Commit();
    void Rollback();

private:
    friend class TFbDatabase;
    friend class TFbQuery;
    void End(bool commit);
    void Abandon();

    TFbDatabase *m_database = nullptr;
    isc_tr_handle m_handle = 0;
    std::vector<TFbQuery *> m_queries;
};

// A SELECT whose rows are kept as they are fetched, so First can go back.
class TFbQuery
{
public:
    TFbQuery();
    ~TFbQuery();
    TFbQuery(const TFbQuery &) = delete;
    TFbQuery &operator=(const TFbQuery &) = delete;

    QStringList SQL;

    TFbDatabase *Database() const { return m_database; }
    void SetDatabase(TFbDatabase *database);
    TFbTransaction *Transaction() const { return m_transaction; }
    void SetTransaction(TFbTransaction *transaction);

    bool Active() const { return m_active; }
    // Starts the transaction when it is not active; reattaches a database
    // whose attachment was lost. Fetches the first row.
    void Open();
    void Close();
    void First();
    void Next();
    bool Eof() const { return m_eof; }
    // Rows fetched so far; all of them once Eof has been reached.
    int RecordCount() const { return static_cast<int>(m_rows.size()); }
    // NULL reads as 0; a name missing from the result or a value that is not a
    // 32-bit integer raises an error.
    qint32 FieldByNameAsInteger(const QString &name) const;
    QVariant FieldByName(const QString &name) const;

private:
    friend class TFbDatabase;
    friend class TFbTransaction;
    bool FetchRow();
    // Frees the statement; never throws.
    void Release();

    TFbDatabase *m_database = nullptr;
    TFbTransaction *m_transaction = nullptr;
    isc_stmt_handle m_statement = 0;
    bool m_active = false;
    bool m_eof = true;
    bool m_cursorDone = true;
    int m_position = -1;
    QStringList m_columns;
    std::vector<QVariantList> m_rows;
    struct Buffers;
    Buffers *m_buffers = nullptr;
};
