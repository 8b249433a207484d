#pragma once
// What the reconciliation cycle and the engine need of the outside world. The
// engine's thread passes the turnstile's MySQL connection, the ERP's Firebird
// attachment and the steady clock; the simulation passes fakes and a virtual
// clock.
#include "base/kr_error.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtGlobal>
#include <chrono>
#include <memory>

// A call that ran out of its bound: the peer may be alive but slow.
class TCallTimedOut : public KrError
{
public:
    using KrError::KrError;
};

// How long an attach or a connection waits before the next call may try
// afresh beside it (see engine/attempts.h).
inline constexpr std::chrono::milliseconds AttemptPatience{3000};

class ITurnstileLink
{
public:
    virtual ~ITurnstileLink() = default;
    virtual bool Connected() const = 0;
    // Close the result sets, close, open again with the parameters last loaded.
    virtual void Reconnect() = 0;
    virtual void ExecuteDirect(const QString &sql) = 0;
    // The statements as one transaction: the turnstile never sees half of them.
    virtual void ExecuteAtomically(const QStringList &statements) = 0;
    // A cheap round trip that touches no table; raises when the server is gone.
    virtual void CheckAlive() = 0;
};

class IOpenTabsQuery
{
public:
    virtual ~IOpenTabsQuery() = default;
    virtual void First() = 0;
    virtual bool Eof() const = 0;
    virtual void Next() = 0;
    // The column's value as the database gave it (null for NULL).
    virtual QVariant FieldValue(const QString &name) const = 0;
    virtual int RecordCount() const = 0;
    // Ends the read: closes the result and ends the ERP transaction, so the
    // ERP's database does not keep an old snapshot alive between cycles.
    virtual void Finish() = 0;
};

class IOpenTabsSource
{
public:
    virtual ~IOpenTabsSource() = default;
    // An opened query for sql; throws when it cannot be opened.
    virtual std::unique_ptr<IOpenTabsQuery> OpenQuery(const QString &sql) = 0;
};

class ICycleView
{
public:
    virtual ~ICycleView() = default;
    virtual void ShowStatus(const QString &caption, quint32 colorRef) = 0;
    virtual void ShowCounters(const QString &caption) = 0;
};

// Milliseconds on a steady clock; only differences mean anything.
class IClock
{
public:
    virtual ~IClock() = default;
    virtual qint64 NowMs() const = 0;
};

// What an attachment needs: "host[/port]:path" and the parameter lines.
struct TErpSettings {
    QString DatabaseName;
    QStringList Params;
};

// The ERP side as the engine drives it: an attachment and its bounded calls.
class IErpPort : public IOpenTabsSource
{
public:
    // Raises on failure; never blocks longer than AttemptPatience. An attach
    // still waiting then goes on beside the next call's, and the first to
    // answer is taken.
    virtual void Attach(const TErpSettings &settings) = 0;
    virtual bool Attached() const = 0;
    virtual void Detach() noexcept = 0;
    // The bound of each later call (statement, fetch, commit, attach).
    virtual void SetCallLimit(std::chrono::milliseconds limit) = 0;
    // "host[/port]:path" of the last attach, for messages.
    virtual QString Address() const = 0;
    // A cheap bounded round trip; raises (and detaches when the attachment
    // is gone) when the server does not answer.
    virtual void CheckAlive() = 0;
};

// The turnstile side as the engine drives it.
class ITurnstilePort : public ITurnstileLink
{
public:
    // The connection parameters as the settings file stands; raises when it
    // is missing or unreadable.
    virtual QStringList LoadParams(const QString &settingsFile) = 0;
    // The same for a retry that waits for the file to appear: a file still
    // being written raises as a missing one.
    virtual QStringList LoadWrittenParams(const QString &settingsFile) { return LoadParams(settingsFile); }
    // Opens with these parameters; later reconnections use them too. Like
    // Reconnect, waits AttemptPatience at most for a connection, as Attach.
    virtual void Open(const QStringList &params) = 0;
    virtual void Close() = 0;
    // "host:port" of the last open, for messages.
    virtual QString Address() const = 0;
    // How often a reopen found the server restarted since the open before;
    // what it held then may be gone.
    virtual int ServerRestarts() const = 0;
};
