#pragma once
// The cycle's view of the ERP database: an opened query per cycle, and the
// end of the read-only transaction once its result has been read.
#include "erp/fb_client.h"
#include "sync/sync_ports.h"

#include <functional>
#include <memory>

class TFbOpenTabsQuery : public IOpenTabsQuery
{
public:
    explicit TFbOpenTabsQuery(std::unique_ptr<TFbQuery> query) : m_query(std::move(query)) {}
    ~TFbOpenTabsQuery() override;
    void First() override { m_query->First(); }
    bool Eof() const override { return m_query->Eof(); }
    void Next() override { m_query->Next(); }
    qint32 FieldAsInteger(const QString &name) const override { return m_query->FieldByNameAsInteger(name); }
    int RecordCount() const override { return m_query->RecordCount(); }
    // Closes the query and commits its transaction: the program only reads,
    // and a transaction left open would hold back the ERP's garbage collection.
    void Finish() override;

private:
    std::unique_ptr<TFbQuery> m_query;
};

class TFbOpenTabsSource : public IOpenTabsSource
{
public:
    using QueryFactory = std::function<std::unique_ptr<TFbQuery>(const QString &sql)>;
    explicit TFbOpenTabsSource(QueryFactory factory) : m_factory(std::move(factory)) {}
    std::unique_ptr<IOpenTabsQuery> OpenQuery(const QString &sql) override;

private:
    QueryFactory m_factory;
};
