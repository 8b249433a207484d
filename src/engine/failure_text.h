#pragma once
// What a failure of either database means to the person at the shop's PC:
// which side and where, what happened and what to check, in Portuguese; the
// client library's own text follows in brackets for the technician.
#include "engine/failure_kind.h"
#include "engine/sync_ports.h"

#include <QString>
#include <exception>

// Failures the program retries by itself say so; a test the user asked for,
// or a start-up box that waits for an answer, does not.
enum class TFailureRetry { KeepsTrying, NotRetried };

// The whole message, e.g. "Não foi possível conectar ao banco de dados da
// catraca (127.0.0.1:3307): o servidor não respondeu. Verifique se ...
// O programa continua tentando. [Can't connect to server on ...]". Classified
// by the kind the peer gave (their English texts are never read).
QString DescribeFailure(TFailureSide side, TFailureStage stage, const QString &address, const std::exception &error,
                        TFailureRetry retry = TFailureRetry::KeepsTrying);
