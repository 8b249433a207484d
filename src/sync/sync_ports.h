#pragma once
// What the reconciliation cycle needs of the outside world. The real program
// passes the turnstile's MySQL connection, the ERP's Firebird query and the
// main window; tests pass fakes.
#include <QString>
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
};

class IOpenTabsQuery
{
public:
    virtual ~IOpenTabsQuery() = default;
    virtual void First() = 0;
    virtual bool Eof() const = 0;
    virtual void Next() = 0;
    virtual qint32 FieldAsInteger(const QString &name) const = 0;
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
    // Let pending window messages run and repaint at once, so the status is
    // visible before the database work blocks the window.
    virtual void LetEventsRun() = 0;
};
