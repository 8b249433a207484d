#pragma once
// What the window and its notification-area icon show of the turnstile
// session, from what the engine last published. Apart from the widgets, so
// that every combination can be checked.
#include "engine/sync_engine.h"

#include <QString>

// After the user's own disconnect the status says so, in grey: a green
// "SINCRONIZADO" left from the last cycle would claim the opposite.
inline constexpr quint32 StatusColorDisconnected = 0x808080;
QString StatusDisconnected();

struct TSessionFacts {
    bool connected = false;     // the turnstile connection is open
    bool sessionActive = false; // from a connect until the user's disconnect, retries included
    TSyncTrayState published = TSyncTrayState::Waiting;
};

struct TSessionView {
    bool connectEnabled = true;
    bool disconnectEnabled = false;
    TSyncTrayState tray = TSyncTrayState::Waiting;
};

TSessionView ViewOf(const TSessionFacts &facts);
