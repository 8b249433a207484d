#include "erp/erp_reader.h"


#include <algorithm>

class TErpQuery : public IOpenTabsQuery
{
public:
    TErpQuery(TErpReader &reader, std::unique_ptr<TFbQuery> query)
        : m_reader(reader), m_database(reader.m_database), m_transaction(reader.m_transaction),
          m_query(std::move(query))
    {
    }
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
    std::shared_ptr<TFbDatabase> m_database;
    std::shared_ptr<TFbTransaction> m_transaction;
    std::unique_ptr<TFbQuery> m_query;
};

namespace {
int ConnectTimeoutSeconds(const QStringList &params)
{
    for (const QString &line : params) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("connect_timeout="), Qt::CaseInsensitive)) {
            bool ok = false;
            const int seconds = trimmed.mid(16).trimmed().toInt(&ok);
            if (ok && seconds > 0)
                return seconds;
        }
    }
    return TErpReader::DefaultConnectTimeoutSeconds;
}

} // namespace

TErpReader::TErpReader(std::chrono::milliseconds callLimit) : m_callLimit(callLimit) {}

TErpReader::~TErpReader()
{
    Detach();
}

void TErpReader::Attach(const TErpSettings &settings)
{
    Detach();
    m_settings = settings;
    // The client's connect time-out ends only the wait for the server's
    // accept; a server that accepted and then went silent holds the attach
    // until TCP gives up (hours), and there is no handle yet to cancel.
    const auto bound = std::chrono::seconds(ConnectTimeoutSeconds(settings.Params)) + m_callLimit;
    m_database = m_attempts.Get(
        settings.DatabaseName + QLatin1Char('\n') + settings.Params.join(QLatin1Char('\n')),
        [settings] {
            auto database = std::make_shared<TFbDatabase>();
            database->DatabaseName = settings.DatabaseName;
            database->Params = settings.Params;
            database->Open();
            return database;
        },
        std::min<std::chrono::milliseconds>(AttemptPatience, bound), bound);
    m_transaction = std::make_shared<TFbTransaction>();
    m_transaction->SetDefaultDatabase(m_database.get());
    // One snapshot per cycle: at read committed a tab deleted and inserted
    // again while the cursor runs could be missed, and written closed.
    m_transaction->Params = {QStringLiteral("concurrency"), QStringLiteral("nowait"), QStringLiteral("read")};
}

void TErpReader::Detach() noexcept
{
    if (!m_database)
        return;
    try {
        // A detach on a connection that went silent would wait as long as any
        // other call.
        const TFbWatchdog::TBound bound(m_watchdog, *m_database, std::chrono::milliseconds(2000));
        m_database->Close();
    } catch (...) {
    }
    m_transaction.reset();
    m_database.reset();
}

template <class F>
void TErpReader::Bounded(F &&call)
{
    if (!m_database)
        throw KrError(QStringLiteral("O banco de dados do ERP não está conectado."));
    try {
        const TFbWatchdog::TBound bound(m_watchdog, *m_database, m_callLimit);
        call();
    } catch (const std::exception &e) {
        const bool timedOut = m_watchdog.Fired();
        const auto *fb = dynamic_cast<const TFbError *>(&e);
        if (timedOut || (fb && fb->IsConnectionLost()) || m_database->ConnectionLost())
            Detach();
        if (timedOut)
            throw TCallTimedOut(QStringLiteral("O servidor não respondeu em %1 s.")
                                    .arg(std::chrono::duration_cast<std::chrono::seconds>(m_callLimit).count()));
        throw;
    }
}

std::unique_ptr<IOpenTabsQuery> TErpReader::OpenQuery(const QString &sql)
{
    if (!Attached())
        throw KrError(QStringLiteral("O banco de dados do ERP não está conectado."));
    auto query = std::make_unique<TFbQuery>();
    query->SetDatabase(m_database.get());
    query->SetTransaction(m_transaction.get());
    query->SQL = QStringList{sql};
    Bounded([&] { query->Open(); });
    return std::make_unique<TErpQuery>(*this, std::move(query));
}

void TErpReader::CheckAlive()
{
    OpenQuery(QStringLiteral("SELECT 1 FROM RDB$DATABASE"))->Finish();
}
