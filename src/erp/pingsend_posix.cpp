// ICMP echo on POSIX systems. Where the system lets ordinary users ping
// (Linux's net.ipv4.ping_group_range) an ICMP datagram socket is used: the
// kernel then picks the identifier, fills in the checksum and hands back only
// the ICMP part, errors included through the socket's error queue. Otherwise
// a raw socket, which needs the privilege to open it.
#include "erp/pingsend.h"
#include "erp/pingsend_common.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <linux/errqueue.h>
#endif

namespace pingsend {

namespace {

std::string ToUtf8(const std::wstring &text)
{
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class TSocket
{
public:
    explicit TSocket(int fd) : FFd(fd) {}
    ~TSocket()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TSocket(const TSocket &) = delete;
    TSocket &operator=(const TSocket &) = delete;
    int Fd() const { return FFd; }
    bool Valid() const { return FFd >= 0; }

private:
    int FFd;
};

struct TSockAddr {
    sockaddr_storage Storage{};
    socklen_t Length = 0;
    sockaddr *Get() { return reinterpret_cast<sockaddr *>(&Storage); }
};

TSockAddr ToSockAddr(const TPingAddress &address)
{
    TSockAddr result;
    if (address.Family == 6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&result.Storage);
        in6->sin6_family = AF_INET6;
        std::memcpy(&in6->sin6_addr, address.Bytes.data(), 16);
        in6->sin6_scope_id = address.ScopeId;
        result.Length = sizeof(sockaddr_in6);
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&result.Storage);
        in4->sin_family = AF_INET;
        std::memcpy(&in4->sin_addr, address.Bytes.data(), 4);
        result.Length = sizeof(sockaddr_in);
    }
    return result;
}

// The source address the system would use towards the target; a connected
// UDP socket finds it without sending anything. Needed for the ICMPv6
// pseudo-header.
Bytes16 SourceAddressFor(const TPingAddress &target)
{
    Bytes16 source{};
    TSocket probe(::socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP));
    if (!probe.Valid())
        return source;
    TSockAddr to = ToSockAddr(target);
    reinterpret_cast<sockaddr_in6 *>(&to.Storage)->sin6_port = htons(9);
    if (::connect(probe.Fd(), to.Get(), to.Length) != 0)
        return source;
    sockaddr_in6 local{};
    socklen_t length = sizeof(local);
    if (::getsockname(probe.Fd(), reinterpret_cast<sockaddr *>(&local), &length) == 0)
        std::memcpy(source.data(), &local.sin6_addr, 16);
    return source;
}

#ifdef __linux__
// An ICMP error queued on a datagram socket, turned back into the shape it
// had on the wire: error header, then the quoted request.
std::optional<std::vector<std::uint8_t>> ReadQueuedError(int fd)
{
    std::uint8_t data[1024];
    char control[512];
    iovec io{data, sizeof(data)};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    const ssize_t n = ::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (n < 0)
        return std::nullopt;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        const bool isError = (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR)
                             || (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR);
        if (!isError)
            continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(c), sizeof(error));
        if (error.ee_origin != SO_EE_ORIGIN_ICMP && error.ee_origin != SO_EE_ORIGIN_ICMP6)
            continue;
        std::vector<std::uint8_t> packet = {error.ee_type, error.ee_code, 0, 0, 0, 0, 0, 0};
        packet.insert(packet.end(), data, data + n);
        return packet;
    }
    // A local error (no route, refused by a filter): nothing came back.
    return std::vector<std::uint8_t>{};
}
#endif

} // namespace

void RunDetached(std::function<void()> task)
{
    std::thread(std::move(task)).detach();
}

std::optional<TPingAddress> ResolveHost(const std::wstring &host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_RAW;
    hints.ai_protocol = 0;
    // An IPv6 literal must never turn into a name lookup.
    if (IsIPv6Literal(host))
        hints.ai_flags = AI_NUMERICHOST;
    addrinfo *list = nullptr;
    if (::getaddrinfo(ToUtf8(host).c_str(), nullptr, &hints, &list) != 0 || !list)
        return std::nullopt;
    std::vector<TPingAddress> found;
    for (addrinfo *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET) {
            found.push_back(MakeAddress(4, &reinterpret_cast<sockaddr_in *>(ai->ai_addr)->sin_addr));
        } else if (ai->ai_family == AF_INET6) {
            const auto *in6 = reinterpret_cast<sockaddr_in6 *>(ai->ai_addr);
            found.push_back(MakeAddress(6, &in6->sin6_addr, in6->sin6_scope_id));
        }
    }
    ::freeaddrinfo(list);
    return PreferIPv4(found);
}

} // namespace pingsend

bool TPINGSend::SendEcho(const TPingAddress &Address)
{
    // No system echo service here: always the socket.
    return SendEchoBySocket(Address);
}

bool TPINGSend::SendEchoBySocket(const TPingAddress &Address)
{
    using namespace pingsend;
    const bool v6 = Address.Family == 6;
    const int family = v6 ? AF_INET6 : AF_INET;
    const int protocol = v6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP);

    int fd = ::socket(family, SOCK_DGRAM, protocol);
    const bool datagram = fd >= 0;
    if (!datagram)
        fd = ::socket(family, SOCK_RAW, protocol);
    const TSocket socket(fd);
    if (!socket.Valid())
        return false;

    const int ttl = FTTL;
    if (v6) {
        if (::setsockopt(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof(ttl)) != 0)
            return false;
    } else if (::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof(ttl)) != 0) {
        return false;
    }

    TSockAddr local;
    if (v6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&local.Storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_addr = in6addr_any;
        in6->sin6_port = htons(std::uint16_t(std::stoi(FBindPort)));
        local.Length = sizeof(sockaddr_in6);
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&local.Storage);
        in4->sin_family = AF_INET;
        ::inet_pton(AF_INET, FBindAddress.c_str(), &in4->sin_addr);
        in4->sin_port = htons(std::uint16_t(std::stoi(FBindPort)));
        local.Length = sizeof(sockaddr_in);
    }
    if (::bind(fd, local.Get(), local.Length) != 0)
        return false;
    // Not connected: a connected raw socket would drop the errors that a
    // router on the way sends, and those count as answers.
    const int bufferSize = FRecvBufferSize;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof(bufferSize));
#ifdef __linux__
    if (datagram) {
        const int on = 1;
        if (v6)
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof(on));
        else
            ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof(on));
    }
#endif

    ++FSequence;
    std::vector<std::uint8_t> request = BuildEchoRequest(v6 ? EchoRequestV6 : EchoRequestV4,
                                                         RandomIdentifier(), FSequence,
                                                         MillisecondClock(), FPacketSize);
    if (datagram) {
        // The kernel puts the socket's own number in the identifier field;
        // remember the request as it will really travel.
        TSockAddr bound;
        bound.Length = sizeof(bound.Storage);
        if (::getsockname(fd, bound.Get(), &bound.Length) != 0)
            return false;
        const auto *port = v6 ? reinterpret_cast<const std::uint8_t *>(
                                    &reinterpret_cast<sockaddr_in6 *>(&bound.Storage)->sin6_port)
                              : reinterpret_cast<const std::uint8_t *>(
                                    &reinterpret_cast<sockaddr_in *>(&bound.Storage)->sin_port);
        SetIdentifierBytes(request, port[0], port[1]);
        if (!v6)
            SetIcmp4Checksum(request);
    }
    if (v6)
        SetIcmp6Checksum(request, SourceAddressFor(Address), Address.Bytes);
    const RequestHead head = HeadOf(request);

    TSockAddr target = ToSockAddr(Address);
    if (::sendto(fd, request.data(), request.size(), 0, target.Get(), target.Length)
        != static_cast<ssize_t>(request.size()))
        return false;
    const std::uint32_t sentAt = MillisecondClock();

    // IPv4 raw sockets deliver the IP header; IPv6 and datagram sockets not.
    const bool withIPv4Header = !v6 && !datagram;
    std::vector<std::uint8_t> buffer(65536);
    const auto receive = [&](int waitMs, std::vector<std::uint8_t> &packet) {
        pollfd waiter{fd, POLLIN, 0};
        const int ready = ::poll(&waiter, 1, waitMs);
        if (ready < 0 && errno == EINTR)
            return true;
        if (ready <= 0)
            return false;
#ifdef __linux__
        if (waiter.revents & POLLERR) {
            auto queued = ReadQueuedError(fd);
            if (!queued || queued->empty())
                return false;
            packet = std::move(*queued);
            return true;
        }
#endif
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        packet.assign(buffer.begin(), buffer.begin() + n);
        return true;
    };
    const auto took = AwaitAnswer(receive, sentAt, FTimeout, withIPv4Header, head);
    if (!took)
        return false;
    PingTime = *took;
    return true;
}
