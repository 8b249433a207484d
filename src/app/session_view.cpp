#include "app/session_view.h"

QString StatusDisconnected()
{
    return QStringLiteral("DESCONECTADO");
}

TSessionView ViewOf(const TSessionFacts &facts)
{
    TSessionView view;
    view.connectEnabled = !facts.connected;
    // The user can always stop what runs, the retries of a lost connection
    // included.
    view.disconnectEnabled = facts.connected || facts.sessionActive;
    view.tray = facts.published;
    // Grey is kept for the user's own stop: a connection lost while the
    // session goes on is a failure, shown red until it is back.
    if (facts.published == TSyncTrayState::Disconnected && facts.sessionActive)
        view.tray = TSyncTrayState::Failing;
    return view;
}
