#pragma once
// The engine's ports on the real clients: the ERP's Firebird reader and the
// turnstile's MySQL connection. Only the program joins the engine to them.
#include "engine/sync_engine.h"

TSyncPorts ClientPorts();

// The box of a failed ERP open, in the program's failure wording: the ERP
// peer knows its client's codes, not the sentences.
QString ErpOpenFailureText(const QString &address, const std::exception &error);
