#pragma once
// The cycle's way into the ERP database: an attachment of its own, made from
// the settings the start-up connection used, and a read-only query per cycle.
// Every call on it is bounded, the attach included, so a silent ERP host
// costs a failed cycle, not a stuck program.
#include "engine/attempts.h"
#include "engine/sync_ports.h"
#include "erp/fb_client.h"
#include "erp/fb_watchdog.h"

#include <chrono>
#include <memory>

class TErpReader : public IErpPort
{
public:
    static constexpr std::chrono::milliseconds DefaultCallLimit{10000};
    // The attach's own time-out when the parameters name none.
    static constexpr int DefaultConnectTimeoutSeconds = 10;

    explicit TErpReader(std::chrono::milliseconds callLimit = DefaultCallLimit);
    ~TErpReader() override;

    QString Address() const override { return m_settings.DatabaseName; }
    bool Attached() const override { return m_database && m_database->Connected(); }
    // Raises on failure; returns within AttemptPatience. An attach that has
    // not answered by then (a server that accepted and went silent) goes on
    // on its own thread beside the next call's, up to the connect time-out
    // plus the call limit, and is taken if it answers first.
    void Attach(const TErpSettings &settings) override;
    // Releases every handle, also of a dead attachment; never raises.
    void Detach() noexcept override;
    void SetCallLimit(std::chrono::milliseconds limit) override { m_callLimit = limit; }
    void CheckAlive() override;

    // An opened query; raises when it cannot be opened. A call that ran out
    // of time, or that found the connection gone, leaves the reader detached.
    std::unique_ptr<IOpenTabsQuery> OpenQuery(const QString &sql) override;

private:
    friend class TErpQuery;
    // Runs one call under the bound.
    template <class F>
    void Bounded(F &&call);

    TErpSettings m_settings;
    // Shared with the queries, which may outlive a detach within a cycle.
    std::shared_ptr<TFbDatabase> m_database;
    std::shared_ptr<TFbTransaction> m_transaction;
    TFbWatchdog m_watchdog;
    std::chrono::milliseconds m_callLimit;
    TAttempts<TFbDatabase> m_attempts;
};
