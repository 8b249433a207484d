#pragma once
// The platform-independent half of TPINGSend: host text checks, the echo
// request's layout, the internet checksum and the rules that decide which
// incoming ICMP packet answers the request. Pure functions, so that tests can
// feed them crafted packets.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A resolved address. The family is kept as 4 or 6 because the AF_ constants
// differ between the platforms.
struct TPingAddress {
    int Family = 4;
    std::array<std::uint8_t, 16> Bytes{}; // IPv4 uses the first 4
    std::uint32_t ScopeId = 0;
};

namespace pingsend {

using Bytes16 = std::array<std::uint8_t, 16>;
using RequestHead = std::array<std::uint8_t, 8>; // type, code, checksum, identifier, sequence

constexpr std::uint8_t EchoRequestV4 = 8;
constexpr std::uint8_t EchoReplyV4 = 0;
constexpr std::uint8_t EchoRequestV6 = 128;
constexpr std::uint8_t EchoReplyV6 = 129;
constexpr std::size_t EchoHeaderSize = 12; // type .. time stamp
constexpr std::uint8_t Filler = '7';
constexpr std::uint8_t NextHeaderIcmpV6 = 58;

// The host text ready for the resolver, or empty when it cannot name a host:
// blank, a port ("host:3050"), a path ("host/db"), spaces or control
// characters inside. Surrounding blanks and the brackets of "[::1]" go.
std::wstring NormalizeHost(const std::wstring &host);
// True when the (normalised) text can only be an IPv6 address literal.
bool IsIPv6Literal(const std::wstring &host);

// RFC 1071: one's complement sum of big-endian 16-bit words; an odd last byte
// is padded with zero. Sum accumulates pieces, Checksum finishes.
std::uint32_t ChecksumSum(std::span<const std::uint8_t> data, std::uint32_t sum = 0);
std::uint16_t ChecksumFinish(std::uint32_t sum);
std::uint16_t InternetChecksum(std::span<const std::uint8_t> data);
// ICMPv6 checksum over the RFC 4443 pseudo-header and the message.
std::uint16_t Icmp6Checksum(const Bytes16 &source, const Bytes16 &destination,
                            std::span<const std::uint8_t> message);

// The echo request: 12-byte header (identifier, sequence and time stamp least
// significant byte first) and packetSize bytes "7". The checksum is the plain
// internet checksum, which is final for IPv4; IPv6 needs SetIcmp6Checksum.
std::vector<std::uint8_t> BuildEchoRequest(std::uint8_t type, std::uint16_t identifier,
                                           std::uint16_t sequence, std::uint32_t timeStamp,
                                           int packetSize);
void SetIcmp4Checksum(std::vector<std::uint8_t> &message);
void SetIcmp6Checksum(std::vector<std::uint8_t> &message, const Bytes16 &source,
                      const Bytes16 &destination);
void SetIdentifierBytes(std::vector<std::uint8_t> &message, std::uint8_t low, std::uint8_t high);
RequestHead HeadOf(const std::vector<std::uint8_t> &request);

// Does this incoming packet answer the request whose first 8 bytes are given?
// withIPv4Header: the packet starts with an IPv4 header (IPv4 raw sockets).
// Skipped: anything of the request's own type (our request seen on the
// loopback), and anything too short to be ICMP. Accepted: an echo reply with
// the request's identifier, or any packet that quotes the request's first 8
// bytes (ICMP errors such as destination unreachable or time exceeded).
bool IsAcceptedAnswer(std::span<const std::uint8_t> packet, bool withIPv4Header,
                      const RequestHead &request);

// Receives one packet, waiting at most waitMs. False ends the wait with no
// answer (time-out, socket error); an empty packet just means "try again".
using ReceiveOne = std::function<bool(int waitMs, std::vector<std::uint8_t> &packet)>;
// Waits for the answer to a request sent at sentAt; the milliseconds it took,
// or nothing. The whole wait is bounded by timeoutMs, however many unrelated
// packets arrive meanwhile.
std::optional<int> AwaitAnswer(const ReceiveOne &receive, std::uint32_t sentAt, int timeoutMs,
                               bool withIPv4Header, const RequestHead &request);

// Millisecond clock; differences are taken modulo 2^32 so a wrap is harmless.
std::uint32_t MillisecondClock();
inline std::uint32_t ElapsedMs(std::uint32_t from, std::uint32_t to) { return to - from; }

// The process-wide random generator behind the identifiers.
void ReseedRandom();
std::uint16_t RandomIdentifier(); // 0 .. 32766

// An address from the bytes of an in_addr (family 4) or in6_addr (family 6).
TPingAddress MakeAddress(int family, const void *bytes, std::uint32_t scopeId = 0);
// The first IPv4 address among the resolver's answers, else the first IPv6 one.
std::optional<TPingAddress> PreferIPv4(const std::vector<TPingAddress> &found);

// Runs the task apart and never waits for it; per platform. Throws when it
// cannot be started.
void RunDetached(std::function<void()> task);

// Resolves the normalised host, IPv4 preferred; per platform, may block.
std::optional<TPingAddress> ResolveHost(const std::wstring &host);
// The same, but gives up after timeoutMs: a stalled resolver must not hold
// the caller longer than the probe's time-out.
std::optional<TPingAddress> ResolveHostWithin(const std::wstring &host, int timeoutMs);
// The address a plain dotted quad ("127.0.0.1") names, with no resolver and
// no thread. Anything else (names, IPv6, the octal and short forms the
// resolvers also read) is not taken here and goes to the resolver.
std::optional<TPingAddress> ParseDottedQuad(const std::wstring &host);

} // namespace pingsend
