// ICMP echo on Windows: the IP helper's echo service where iphlpapi.dll
// offers it (it needs no privilege), a raw Winsock socket otherwise.
#include "erp/pingsend.h"
#include "erp/pingsend_common.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <ipexport.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

using IcmpCreateFileFn = HANDLE(WINAPI *)();
using IcmpCloseHandleFn = BOOL(WINAPI *)(HANDLE);
using IcmpSendEcho2Fn = DWORD(WINAPI *)(HANDLE, HANDLE, PVOID, PVOID, IPAddr, LPVOID, WORD,
                                        PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);
using Icmp6SendEcho2Fn = DWORD(WINAPI *)(HANDLE, HANDLE, PVOID, PVOID, sockaddr_in6 *, sockaddr_in6 *,
                                         LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);

// The IPv6 answer's layout; MinGW's headers lack it. The address part is
// packed, the rest is not.
#pragma pack(push, 1)
struct TIPv6AddressEx {
    USHORT Port;
    ULONG FlowInfo;
    USHORT Address[8];
    ULONG ScopeId;
};
#pragma pack(pop)
struct TIcmp6EchoReply {
    TIPv6AddressEx Address;
    ULONG Status;
    unsigned int RoundTripTime;
};
static_assert(offsetof(TIcmp6EchoReply, RoundTripTime) == 32);

// Looked up once when the program starts; missing entries mean "use a socket".
struct TEchoService {
    IcmpCreateFileFn CreateV4 = nullptr;
    IcmpCreateFileFn CreateV6 = nullptr;
    IcmpCloseHandleFn Close = nullptr;
    IcmpSendEcho2Fn SendV4 = nullptr;
    Icmp6SendEcho2Fn SendV6 = nullptr;

    template <class F>
    static F Lookup(HMODULE library, const char *name)
    {
        return reinterpret_cast<F>(reinterpret_cast<void *>(::GetProcAddress(library, name)));
    }

    TEchoService()
    {
        HMODULE library = ::LoadLibraryW(L"iphlpapi.dll");
        if (!library)
            return;
        CreateV4 = Lookup<IcmpCreateFileFn>(library, "IcmpCreateFile");
        CreateV6 = Lookup<IcmpCreateFileFn>(library, "Icmp6CreateFile");
        Close = Lookup<IcmpCloseHandleFn>(library, "IcmpCloseHandle");
        SendV4 = Lookup<IcmpSendEcho2Fn>(library, "IcmpSendEcho2");
        SendV6 = Lookup<Icmp6SendEcho2Fn>(library, "Icmp6SendEcho2");
    }
    bool OffersV4() const { return CreateV4 && Close && SendV4; }
    bool OffersV6() const { return CreateV6 && Close && SendV6; }
};

const TEchoService EchoService;

class TWinsock
{
public:
    TWinsock()
    {
        WSADATA data;
        FStarted = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~TWinsock()
    {
        if (FStarted)
            ::WSACleanup();
    }
    TWinsock(const TWinsock &) = delete;
    TWinsock &operator=(const TWinsock &) = delete;
    bool Started() const { return FStarted; }

private:
    bool FStarted = false;
};

class TSocket
{
public:
    explicit TSocket(SOCKET s) : FSocket(s) {}
    ~TSocket()
    {
        if (FSocket != INVALID_SOCKET)
            ::closesocket(FSocket);
    }
    TSocket(const TSocket &) = delete;
    TSocket &operator=(const TSocket &) = delete;
    SOCKET Get() const { return FSocket; }
    bool Valid() const { return FSocket != INVALID_SOCKET; }

private:
    SOCKET FSocket;
};

class TIcmpHandle
{
public:
    explicit TIcmpHandle(HANDLE h) : FHandle(h) {}
    ~TIcmpHandle()
    {
        if (Valid())
            EchoService.Close(FHandle);
    }
    TIcmpHandle(const TIcmpHandle &) = delete;
    TIcmpHandle &operator=(const TIcmpHandle &) = delete;
    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle && FHandle != INVALID_HANDLE_VALUE; }

private:
    HANDLE FHandle;
};

sockaddr_in6 ToSockAddr6(const TPingAddress &address)
{
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    std::memcpy(&in6.sin6_addr, address.Bytes.data(), 16);
    in6.sin6_scope_id = address.ScopeId;
    return in6;
}

sockaddr_in ToSockAddr4(const TPingAddress &address)
{
    sockaddr_in in4{};
    in4.sin_family = AF_INET;
    std::memcpy(&in4.sin_addr, address.Bytes.data(), 4);
    return in4;
}

DWORD WINAPI RunTask(LPVOID context)
{
    const std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()> *>(context));
    try {
        (*task)();
    } catch (...) {
        // Nobody waits for a detached task's failure.
    }
    return 0;
}

} // namespace

namespace pingsend {

// The system's pool keeps its threads: a ping does not start and end a thread
// of its own, with the loader's work that each start and end takes.
void RunDetached(std::function<void()> task)
{
    auto context = std::make_unique<std::function<void()>>(std::move(task));
    if (!::QueueUserWorkItem(RunTask, context.get(), WT_EXECUTELONGFUNCTION))
        throw std::runtime_error("QueueUserWorkItem failed");
    context.release();
}

std::optional<TPingAddress> ResolveHost(const std::wstring &host)
{
    const TWinsock winsock;
    if (!winsock.Started())
        return std::nullopt;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    // An IPv6 literal must never turn into a name lookup.
    if (IsIPv6Literal(host))
        hints.ai_flags = AI_NUMERICHOST;
    ADDRINFOW *list = nullptr;
    if (::GetAddrInfoW(host.c_str(), nullptr, &hints, &list) != 0 || !list)
        return std::nullopt;
    std::vector<TPingAddress> found;
    for (ADDRINFOW *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET) {
            found.push_back(MakeAddress(4, &reinterpret_cast<sockaddr_in *>(ai->ai_addr)->sin_addr));
        } else if (ai->ai_family == AF_INET6) {
            const auto *in6 = reinterpret_cast<sockaddr_in6 *>(ai->ai_addr);
            found.push_back(MakeAddress(6, &in6->sin6_addr, in6->sin6_scope_id));
        }
    }
    ::FreeAddrInfoW(list);
    return PreferIPv4(found);
}

} // namespace pingsend

bool TPINGSend::SendEcho(const TPingAddress &Address)
{
    const bool v6 = Address.Family == 6;
    if (v6 ? !EchoService.OffersV6() : !EchoService.OffersV4())
        return SendEchoBySocket(Address);

    const TIcmpHandle handle(v6 ? EchoService.CreateV6() : EchoService.CreateV4());
    if (!handle.Valid())
        return false;
    // The service builds the header itself; it gets the whole request's worth of "7".
    std::vector<char> data(pingsend::EchoHeaderSize + std::size_t(FPacketSize), char(pingsend::Filler));
    IP_OPTION_INFORMATION options{};
    options.Ttl = static_cast<UCHAR>(FTTL);
    options.Tos = 0;
    options.Flags = 0;
    options.OptionsSize = 0;
    options.OptionsData = nullptr;
    std::vector<unsigned char> reply(4096);
    const DWORD timeout = static_cast<DWORD>(std::max(FTimeout, 0));
    DWORD answers = 0;
    if (v6) {
        sockaddr_in6 source{};
        source.sin6_family = AF_INET6;
        sockaddr_in6 target = ToSockAddr6(Address);
        answers = EchoService.SendV6(handle.Get(), nullptr, nullptr, nullptr, &source, &target, data.data(),
                                     static_cast<WORD>(data.size()), &options, reply.data(),
                                     static_cast<DWORD>(reply.size()), timeout);
        if (answers > 0) {
            TIcmp6EchoReply answer;
            std::memcpy(&answer, reply.data(), sizeof(answer));
            PingTime = static_cast<int>(answer.RoundTripTime);
        }
    } else {
        IPAddr target;
        std::memcpy(&target, Address.Bytes.data(), 4);
        answers = EchoService.SendV4(handle.Get(), nullptr, nullptr, nullptr, target, data.data(),
                                     static_cast<WORD>(data.size()), &options, reply.data(),
                                     static_cast<DWORD>(reply.size()), timeout);
        if (answers > 0) {
            ICMP_ECHO_REPLY answer;
            std::memcpy(&answer, reply.data(), sizeof(answer));
            PingTime = static_cast<int>(answer.RoundTripTime);
        }
    }
    return answers > 0;
}

bool TPINGSend::SendEchoBySocket(const TPingAddress &Address)
{
    using namespace pingsend;
    const TWinsock winsock;
    if (!winsock.Started())
        return false;
    const bool v6 = Address.Family == 6;
    const TSocket socket(::socket(v6 ? AF_INET6 : AF_INET, SOCK_RAW, v6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP));
    if (!socket.Valid())
        return false;
    const SOCKET s = socket.Get();
    const DWORD ttl = static_cast<DWORD>(FTTL);
    const int ttlResult = v6 ? ::setsockopt(s, IPPROTO_IPV6, IPV6_UNICAST_HOPS,
                                            reinterpret_cast<const char *>(&ttl), sizeof(ttl))
                             : ::setsockopt(s, IPPROTO_IP, IP_TTL, reinterpret_cast<const char *>(&ttl),
                                            sizeof(ttl));
    if (ttlResult == SOCKET_ERROR)
        return false;

    sockaddr_in6 local6{}, target6 = ToSockAddr6(Address);
    sockaddr_in local4{}, target4 = ToSockAddr4(Address);
    local6.sin6_family = AF_INET6;
    local4.sin_family = AF_INET;
    ::inet_pton(AF_INET, FBindAddress.c_str(), &local4.sin_addr);
    const auto *local = v6 ? reinterpret_cast<const sockaddr *>(&local6) : reinterpret_cast<const sockaddr *>(&local4);
    const auto *target = v6 ? reinterpret_cast<const sockaddr *>(&target6) : reinterpret_cast<const sockaddr *>(&target4);
    const int length = v6 ? int(sizeof(sockaddr_in6)) : int(sizeof(sockaddr_in));
    if (::bind(s, local, length) == SOCKET_ERROR || ::connect(s, target, length) == SOCKET_ERROR)
        return false;
    const int bufferSize = FRecvBufferSize;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&bufferSize), sizeof(bufferSize));

    ++FSequence;
    std::vector<std::uint8_t> request = BuildEchoRequest(v6 ? EchoRequestV6 : EchoRequestV4, RandomIdentifier(),
                                                         FSequence, MillisecondClock(), FPacketSize);
    if (v6) {
        sockaddr_in6 source{};
        int sourceLength = sizeof(source);
        if (::getsockname(s, reinterpret_cast<sockaddr *>(&source), &sourceLength) == SOCKET_ERROR)
            return false;
        Bytes16 sourceBytes;
        std::memcpy(sourceBytes.data(), &source.sin6_addr, 16);
        SetIcmp6Checksum(request, sourceBytes, Address.Bytes);
    }
    const RequestHead head = HeadOf(request);
    if (::send(s, reinterpret_cast<const char *>(request.data()), int(request.size()), 0) != int(request.size()))
        return false;
    const std::uint32_t sentAt = MillisecondClock();

    std::vector<char> buffer(65536);
    const auto receive = [&](int waitMs, std::vector<std::uint8_t> &packet) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0)
            return false;
        const int n = ::recv(s, buffer.data(), int(buffer.size()), 0);
        if (n == SOCKET_ERROR)
            return false;
        packet.assign(buffer.begin(), buffer.begin() + n);
        return true;
    };
    // Raw IPv4 sockets deliver the IP header, IPv6 ones only the ICMP message.
    const auto took = AwaitAnswer(receive, sentAt, FTimeout, !v6, head);
    if (!took)
        return false;
    PingTime = *took;
    return true;
}
