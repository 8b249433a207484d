#pragma once
// When a connection is lost, the program connects again by itself (unless the
// user disconnected): soon, then every few seconds. A refused connection costs
// the server next to nothing, and a server back after a restart is used again
// within 5 s of answering; a silent host costs one connect time-out a try.
#include <QtGlobal>

class TReconnectPolicy
{
public:
    static constexpr int FirstDelayMs = 1000;
    static constexpr int MaxDelayMs = 4000;

    // The connection failed or was lost: returns the delay before the next try.
    int NextDelayMs();
    // Connected again, or the user chose to disconnect: start over.
    void Reset() { m_failures = 0; }
    int Failures() const { return m_failures; }

private:
    int m_failures = 0;
};
