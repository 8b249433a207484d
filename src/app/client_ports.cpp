#include "app/client_ports.h"

#include "engine/failure_text.h"
#include "erp/erp_reader.h"
#include "turnstile/turnstile_port.h"

TSyncPorts ClientPorts()
{
    return TSyncPorts{std::make_unique<TErpReader>(), std::make_unique<TMySqlTurnstilePort>()};
}

QString ErpOpenFailureText(const QString &address, const std::exception &error)
{
    // The box waits for the user, who then decides: nothing is retried
    // behind it.
    return DescribeFailure(TFailureSide::Erp, TFailureStage::Connect, address, error, TFailureRetry::NotRetried);
}
