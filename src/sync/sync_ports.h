#pragma once
// What the reconciliation cycle needs of the outside world. The engine passes
// the turnstile's MySQL connection and the ERP's Firebird query; tests pass
// fakes.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtGlobal>
#include <memory>

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
