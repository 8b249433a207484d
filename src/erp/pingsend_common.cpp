#include "erp/pingsend.h"
#include "erp/pingsend_common.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <random>

namespace pingsend {

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

bool IsAllowedHostChar(wchar_t c)
{
    if (c >= 0x80)
        return true; // internationalised names are left to the resolver
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'))
        return true;
    return c == L'.' || c == L'-' || c == L'_' || c == L':' || c == L'%';
}

std::mutex RandomLock;
std::mt19937 &RandomGenerator()
{
    static std::mt19937 generator;
    return generator;
}

} // namespace

std::wstring NormalizeHost(const std::wstring &host)
{
    std::size_t first = 0, last = host.size();
    while (first < last && IsBlank(host[first]))
        ++first;
    while (last > first && IsBlank(host[last - 1]))
        --last;
    std::wstring text = host.substr(first, last - first);
    if (text.size() >= 2 && text.front() == L'[' && text.back() == L']')
        text = text.substr(1, text.size() - 2);
    // 253 is the longest DNS name; an IPv6 literal with a scope fits as well.
    if (text.empty() || text.size() > 253)
        return {};
    if (!std::all_of(text.begin(), text.end(), IsAllowedHostChar))
        return {};
    const auto colons = std::count(text.begin(), text.end(), L':');
    // One colon is a port ("127.0.0.1:3050"); IPv6 has at least two.
    if (colons == 1)
        return {};
    // A scope ("fe80::1%eth0") belongs to IPv6 literals only.
    if (colons == 0 && text.find(L'%') != std::wstring::npos)
        return {};
    return text;
}

bool IsIPv6Literal(const std::wstring &host)
{
    return host.find(L':') != std::wstring::npos;
}

std::uint32_t ChecksumSum(std::span<const std::uint8_t> data, std::uint32_t sum)
{
    std::size_t i = 0;
    for (; i + 1 < data.size(); i += 2) {
        sum += (std::uint32_t(data[i]) << 8) | data[i + 1];
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    if (i < data.size()) {
        sum += std::uint32_t(data[i]) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum;
}

std::uint16_t ChecksumFinish(std::uint32_t sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::uint16_t InternetChecksum(std::span<const std::uint8_t> data)
{
    return ChecksumFinish(ChecksumSum(data));
}

std::uint16_t Icmp6Checksum(const Bytes16 &source, const Bytes16 &destination,
                            std::span<const std::uint8_t> message)
{
    const auto length = static_cast<std::uint32_t>(message.size());
    const std::array<std::uint8_t, 8> lengthAndNext = {
        std::uint8_t(length >> 24), std::uint8_t(length >> 16), std::uint8_t(length >> 8),
        std::uint8_t(length),       0, 0, 0, NextHeaderIcmpV6};
    std::uint32_t sum = ChecksumSum(source);
    sum = ChecksumSum(destination, sum);
    sum = ChecksumSum(lengthAndNext, sum);
    return ChecksumFinish(ChecksumSum(message, sum));
}

namespace {

void StoreChecksum(std::vector<std::uint8_t> &message, std::uint16_t checksum)
{
    message[2] = std::uint8_t(checksum >> 8);
    message[3] = std::uint8_t(checksum);
}

} // namespace

std::vector<std::uint8_t> BuildEchoRequest(std::uint8_t type, std::uint16_t identifier,
                                           std::uint16_t sequence, std::uint32_t timeStamp,
                                           int packetSize)
{
    std::vector<std::uint8_t> message(EchoHeaderSize + std::size_t(std::max(packetSize, 0)), Filler);
    message[0] = type;
    message[1] = 0;
    message[2] = message[3] = 0;
    message[4] = std::uint8_t(identifier);
    message[5] = std::uint8_t(identifier >> 8);
    message[6] = std::uint8_t(sequence);
    message[7] = std::uint8_t(sequence >> 8);
    for (int i = 0; i < 4; ++i)
        message[8 + i] = std::uint8_t(timeStamp >> (8 * i));
    SetIcmp4Checksum(message);
    return message;
}

void SetIcmp4Checksum(std::vector<std::uint8_t> &message)
{
    StoreChecksum(message, 0);
    StoreChecksum(message, InternetChecksum(message));
}

void SetIcmp6Checksum(std::vector<std::uint8_t> &message, const Bytes16 &source,
                      const Bytes16 &destination)
{
    StoreChecksum(message, 0);
    StoreChecksum(message, Icmp6Checksum(source, destination, message));
}

void SetIdentifierBytes(std::vector<std::uint8_t> &message, std::uint8_t low, std::uint8_t high)
{
    message[4] = low;
    message[5] = high;
}

RequestHead HeadOf(const std::vector<std::uint8_t> &request)
{
    RequestHead head{};
    std::copy_n(request.begin(), std::min(head.size(), request.size()), head.begin());
    return head;
}

bool IsAcceptedAnswer(std::span<const std::uint8_t> packet, bool withIPv4Header,
                      const RequestHead &request)
{
    if (withIPv4Header) {
        if (packet.empty())
            return false;
        const std::size_t headerLength = std::size_t(packet[0] & 0x0F) * 4;
        if (headerLength < 20 || headerLength > packet.size())
            return false;
        packet = packet.subspan(headerLength);
    }
    if (packet.size() < 8)
        return false;
    const std::uint8_t type = packet[0];
    if (type == request[0])
        return false;
    // The identifier means something only in an echo reply; in an error
    // message the same bytes are "unused" zeros and would match identifier 0.
    const std::uint8_t replyType = request[0] == EchoRequestV6 ? EchoReplyV6 : EchoReplyV4;
    if (type == replyType && packet[4] == request[4] && packet[5] == request[5])
        return true;
    return std::search(packet.begin(), packet.end(), request.begin(), request.end()) != packet.end();
}

std::optional<int> AwaitAnswer(const ReceiveOne &receive, std::uint32_t sentAt, int timeoutMs,
                               bool withIPv4Header, const RequestHead &request)
{
    const auto limit = std::uint32_t(std::max(timeoutMs, 0));
    std::vector<std::uint8_t> packet;
    for (;;) {
        const std::uint32_t elapsed = ElapsedMs(sentAt, MillisecondClock());
        if (elapsed > limit)
            return std::nullopt;
        packet.clear();
        if (!receive(int(limit - elapsed), packet))
            return std::nullopt;
        const std::uint32_t arrived = ElapsedMs(sentAt, MillisecondClock());
        if (arrived > limit)
            return std::nullopt;
        if (IsAcceptedAnswer(packet, withIPv4Header, request))
            return int(arrived);
    }
}

std::uint32_t MillisecondClock()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void ReseedRandom()
{
    std::lock_guard lock(RandomLock);
    RandomGenerator().seed(static_cast<std::mt19937::result_type>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
}

std::uint16_t RandomIdentifier()
{
    std::lock_guard lock(RandomLock);
    return static_cast<std::uint16_t>(std::uniform_int_distribution<int>(0, 32766)(RandomGenerator()));
}

TPingAddress MakeAddress(int family, const void *bytes, std::uint32_t scopeId)
{
    TPingAddress address;
    address.Family = family;
    std::memcpy(address.Bytes.data(), bytes, family == 6 ? 16 : 4);
    address.ScopeId = scopeId;
    return address;
}

std::optional<TPingAddress> PreferIPv4(const std::vector<TPingAddress> &found)
{
    const auto v4 = std::find_if(found.begin(), found.end(), [](const auto &a) { return a.Family == 4; });
    if (v4 != found.end())
        return *v4;
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::optional<TPingAddress> ParseDottedQuad(const std::wstring &host)
{
    std::array<std::uint8_t, 4> bytes{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        if (part > 0 && (at >= host.size() || host[at++] != L'.'))
            return std::nullopt;
        const std::size_t start = at;
        unsigned value = 0;
        while (at < host.size() && at - start < 3 && host[at] >= L'0' && host[at] <= L'9')
            value = value * 10 + unsigned(host[at++] - L'0');
        const std::size_t digits = at - start;
        // A leading zero is octal to inet_aton; such text is the resolver's to read.
        if (digits == 0 || value > 255 || (digits > 1 && host[start] == L'0'))
            return std::nullopt;
        bytes[part] = std::uint8_t(value);
    }
    if (at != host.size())
        return std::nullopt;
    return MakeAddress(4, bytes.data());
}

std::optional<TPingAddress> ResolveHostWithin(const std::wstring &host, int timeoutMs)
{
    // An address needs no look-up: a name service that hangs, or a thread that
    // cannot start, must not make a reachable address look dead.
    if (auto address = ParseDottedQuad(host))
        return address;
    // The worker owns its task, so abandoning a stalled lookup is safe: it
    // finishes on its own and drops the result nobody waits for.
    auto task = std::make_shared<std::packaged_task<std::optional<TPingAddress>()>>(
        [host] { return ResolveHost(host); });
    auto result = task->get_future();
    RunDetached([task] { (*task)(); });
    if (result.wait_for(std::chrono::milliseconds(std::max(timeoutMs, 0))) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

} // namespace pingsend

TPINGSend::TPINGSend(int timeout) : FTimeout(timeout)
{
    pingsend::ReseedRandom();
}

TPINGSend::~TPINGSend() = default;

bool TPINGSend::Ping(const std::wstring &Host)
{
    PingTime = -1;
    try {
        const std::wstring host = pingsend::NormalizeHost(Host);
        if (host.empty())
            return false;
        const auto address = pingsend::ResolveHostWithin(host, FTimeout);
        if (!address)
            return false;
        if (SendEcho(*address))
            return true;
    } catch (...) {
        // The caller only wants to know whether the host answered.
    }
    PingTime = -1;
    return false;
}
