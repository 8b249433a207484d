#pragma once
// TPINGSend: one ICMP echo request to a host, and the time its answer took.
// Plain C++ on purpose: the Windows implementation is built without Qt.
#include <cstdint>
#include <string>

struct TPingAddress;

class TPINGSend
{
public:
    static constexpr int DefaultTimeout = 5000;

    // The time-out is a parameter only so that tests need not wait 5 s.
    explicit TPINGSend(int timeout = DefaultTimeout);
    ~TPINGSend();
    TPINGSend(const TPINGSend &) = delete;
    TPINGSend &operator=(const TPINGSend &) = delete;

    // Sends one request and waits for its answer. Never throws: whatever goes
    // wrong (bad host text, no name, no socket, no answer in time) ends with
    // PingTime -1 and false. The whole call lasts at most about the time-out.
    bool Ping(const std::wstring &Host);

    // Milliseconds from sending to the accepted answer, -1 when none came.
    int PingTime = -1;

    int Timeout() const { return FTimeout; }
    int PacketSize() const { return FPacketSize; }
    int TTL() const { return FTTL; }
    int RecvBufferSize() const { return FRecvBufferSize; }
    const std::string &BindAddress() const { return FBindAddress; }
    const std::string &BindPort() const { return FBindPort; }
    // Raw-socket requests sent so far; the next one carries Sequence() + 1.
    std::uint16_t Sequence() const { return FSequence; }

private:
    // Per platform: the echo itself, once the host is resolved.
    bool SendEcho(const TPingAddress &Address);
    bool SendEchoBySocket(const TPingAddress &Address);

    int FTimeout;
    int FPacketSize = 32;
    int FTTL = 128;
    int FRecvBufferSize = 61440;
    std::string FBindAddress = "0.0.0.0";
    std::string FBindPort = "0";
    std::uint16_t FSequence = 0;
};
