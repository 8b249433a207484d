#include "erp/open_tabs_source.h"

TFbOpenTabsQuery::~TFbOpenTabsQuery()
{
    try {
        if (m_query->Active())
            m_query->Close();
    } catch (...) {
    }
}

void TFbOpenTabsQuery::Finish()
{
    if (m_query->Active())
        m_query->Close();
    TFbTransaction *t = m_query->Transaction();
    if (t && t->Active())
        t->Commit();
}

std::unique_ptr<IOpenTabsQuery> TFbOpenTabsSource::OpenQuery(const QString &sql)
{
    return std::make_unique<TFbOpenTabsQuery>(m_factory(sql));
}
