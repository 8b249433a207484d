#include "erp/erp_reader.h"

#include "erp/kr_database.h"

class TErpQuery : public IOpenTabsQuery
{
public:
    TErpQuery(TErpReader &reader, std::unique_ptr<TFbQuery> query) : m_reader(reader), m_query(std::move(query)) {}
    ~TErpQuery() override
    {
        try {
            if (m_reader.Attached() && m_query->Active())
                m_reader.Bounded([this] { m_query->Close(); });
        } catch (...) {
            // The cycle has reported its own error already.
        }
    }
    void First() override { m_query->First(); }
    bool Eof() const override { return m_query->Eof(); }
    void Next() override
    {
        m_reader.Bounded([this] { m_query->Next(); });
    }
    QVariant FieldValue(const QString &name) const override { return m_query->FieldByName(name); }
    int RecordCount() const override { return m_query->RecordCount(); }
    void Finish() override
    {
        m_reader.Bounded([this] {
            if (m_query->Active())
                m_query->Close();
            // The program only reads; an open transaction would hold back the
            // ERP's garbage collection.
            TFbTransaction *t = m_query->Transaction();
            if (t && t->Active())
                t->Commit();
        });
    }

private:
    TErpReader &m_reader;
    std::unique_ptr<TFbQuery> m_query;
};

TErpReader::TErpReader(const TErpSettings &settings, std::chrono::milliseconds callLimit)
    : m_callLimit(callLimit)
{
    m_database.DatabaseName = settings.DatabaseName;
    m_database.Params = settings.Params;
    m_transaction.SetDefaultDatabase(&m_database);
    m_transaction.Params = TKRDBManager::ErpTransactionParams();
}

TErpReader::~TErpReader()
{
    Detach();
}

void TErpReader::Attach()
{
    Detach();
    m_database.Open();
}

void TErpReader::Detach() noexcept
{
    try {
        // A detach on a connection that went silent would wait as long as any
        // other call.
        const TFbWatchdog::TBound bound(m_watchdog, m_database, std::chrono::milliseconds(2000));
        m_database.Close();
    } catch (...) {
    }
}

template <class F>
void TErpReader::Bounded(F &&call)
{
    try {
        const TFbWatchdog::TBound bound(m_watchdog, m_database, m_callLimit);
        call();
    } catch (const std::exception &e) {
        const bool timedOut = m_watchdog.Fired();
        const auto *fb = dynamic_cast<const TFbError *>(&e);
        if (timedOut || (fb && fb->IsConnectionLost()) || m_database.ConnectionLost())
            Detach();
        if (timedOut)
            throw KrError(QStringLiteral("O servidor não respondeu em %1 s.").arg(m_callLimit.count() / 1000));
        throw;
    }
}

std::unique_ptr<IOpenTabsQuery> TErpReader::OpenQuery(const QString &sql)
{
    if (!Attached())
        throw KrError(QStringLiteral("O banco de dados do ERP não está conectado."));
    auto query = std::make_unique<TFbQuery>();
    query->SetDatabase(&m_database);
    query->SetTransaction(&m_transaction);
    query->SQL = QStringList{sql};
    Bounded([&] { query->Open(); });
    return std::make_unique<TErpQuery>(*this, std::move(query));
}
