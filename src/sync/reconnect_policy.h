#pragma once
// When the turnstile connection is lost, the program connects again by itself
// (unless the user disconnected): first after a few seconds, then backing off
// so a server that stays down is not hammered, never waiting more than 30 s.
#include <QtGlobal>

class TReconnectPolicy
{
public:
    static constexpr int FirstDelayMs = 3000;
    static constexpr int MaxDelayMs = 30000;

    // The connection failed or was lost: returns the delay before the next try.
    int NextDelayMs();
    // Connected again, or the user chose to disconnect: start over.
    void Reset() { m_failures = 0; }
    int Failures() const { return m_failures; }

private:
    int m_failures = 0;
};
