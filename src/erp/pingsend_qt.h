#pragma once
// The Qt side's way into TPINGSend: one probe per question, as the
// connection dialog's Ping button asks it.
#include "erp/pingsend.h"

#include <QString>

// Milliseconds the host took to answer, or -1 when it did not answer.
inline int PingResponseTime(const QString &host, int timeout = TPINGSend::DefaultTimeout)
{
    TPINGSend probe(timeout);
    probe.Ping(host.toStdWString());
    return probe.PingTime;
}
