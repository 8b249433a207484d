#include "engine/reconnect_policy.h"

#include <algorithm>

int TReconnectPolicy::NextDelayMs()
{
    const int shift = std::min(m_failures, 4);
    ++m_failures;
    return std::min(FirstDelayMs << shift, MaxDelayMs);
}
