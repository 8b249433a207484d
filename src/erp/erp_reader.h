#pragma once
// The cycle's way into the ERP database: an attachment of its own, made from
// the settings the start-up connection used, and a read-only query per cycle.
// Every call on it is bounded, so a silent ERP host costs a failed cycle, not
// a stuck program.
#include "erp/fb_client.h"
#include "erp/fb_watchdog.h"
#include "sync/sync_ports.h"

#include <chrono>

// What the attachment needs: "host[/port]:path" and the parameter lines.
struct TErpSettings {
    QString DatabaseName;
    QStringList Params;
};

class TErpReader : public IOpenTabsSource
{
public:
    static constexpr std::chrono::milliseconds DefaultCallLimit{10000};

    explicit TErpReader(const TErpSettings &settings, std::chrono::milliseconds callLimit = DefaultCallLimit);
    ~TErpReader() override;

    // "host[/port]:path", for messages.
    QString Address() const { return m_database.DatabaseName; }
    bool Attached() const { return m_database.Connected(); }
    // Raises on failure; the attach itself is bounded by the connect time-out.
    void Attach();
    // Releases every handle, also of a dead attachment; never raises.
    void Detach() noexcept;

    // An opened query; raises when it cannot be opened. A call that ran out
    // of time, or that found the connection gone, leaves the reader detached.
    std::unique_ptr<IOpenTabsQuery> OpenQuery(const QString &sql) override;

private:
    friend class TErpQuery;
    // Runs one call under the bound.
    template <class F>
    void Bounded(F &&call);

    TFbDatabase m_database;
    TFbTransaction m_transaction;
    TFbWatchdog m_watchdog;
    std::chrono::milliseconds m_callLimit;
};
