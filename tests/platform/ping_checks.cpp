// The echo probe against the real network stack: natively, and under Wine
// against the IP helper's echo service.
#include "check.h"

#include "erp/pingsend.h"

#include <chrono>

namespace {

long long MillisecondsOf(const std::function<void()> &action)
{
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

PLATFORM_CHECK("ping: loopback IPv4 answers")
{
    TPINGSend probe;
    CHECK(probe.Ping(L"127.0.0.1"));
    CHECK(probe.PingTime >= 0);
    CHECK(probe.PingTime < probe.Timeout());
}

PLATFORM_CHECK("ping: localhost by name answers")
{
    TPINGSend probe;
    CHECK(probe.Ping(L"localhost"));
    CHECK(probe.PingTime >= 0);
}

PLATFORM_CHECK("ping: host with a port or a path gives -1 at once")
{
    TPINGSend probe;
    for (const wchar_t *host : {L"127.0.0.1:3050", L"127.0.0.1/db", L"", L"   "}) {
        bool answered = true;
        const auto took = MillisecondsOf([&] { answered = probe.Ping(host); });
        CHECK(!answered);
        CHECK_EQ(probe.PingTime, -1);
        CHECK(took < 500);
    }
}

PLATFORM_CHECK("ping: a failed call resets the previous time")
{
    TPINGSend probe;
    CHECK(probe.Ping(L"127.0.0.1"));
    CHECK(!probe.Ping(L"host/path"));
    CHECK_EQ(probe.PingTime, -1);
}
