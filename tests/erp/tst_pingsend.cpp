// The echo probe: request layout and checksums against known values, the
// answer rules on crafted packets, the bounded wait, and real pings of the
// loopback addresses.
#include "erp/pingsend.h"
#include "erp/pingsend_common.h"
#include "erp/pingsend_qt.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace pingsend;
using ByteVector = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(std::wstring)

namespace {

ByteVector Concat(std::initializer_list<ByteVector> parts)
{
    ByteVector all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A 20-byte IPv4 header (or longer, with option padding) carrying ICMP.
ByteVector IPv4Header(int ihl = 5)
{
    ByteVector h(std::size_t(ihl) * 4, 0);
    h[0] = std::uint8_t(0x40 | ihl);
    h[8] = 64;
    h[9] = 1;
    return h;
}

ByteVector WithType(ByteVector message, std::uint8_t type)
{
    message[0] = type;
    return message;
}

// An ICMP error message quoting the original datagram's IP header and first
// 8 bytes, as a router sends it.
ByteVector IcmpError(std::uint8_t type, std::uint8_t code, const ByteVector &quotedRequest)
{
    const ByteVector first8(quotedRequest.begin(), quotedRequest.begin() + 8);
    return Concat({{type, code, 0, 0, 0, 0, 0, 0}, IPv4Header(), first8});
}

} // namespace

// Which half failed: the look-up or the echo. A machine whose loopback
// stops answering is told apart from a probe that cannot find its host.
static QString NoAnswer(const QString &host)
{
    const auto address = ResolveHostWithin(NormalizeHost(host.toStdWString()), 3000);
    if (!address)
        return QStringLiteral("%1: no address within 3 s").arg(host);
    return QStringLiteral("%1: the address (family %2) took no echo reply in time").arg(host).arg(address->Family);
}

class TestPingSend : public QObject
{
    Q_OBJECT

private slots:
    void checksumKnownValues()
    {
        // RFC 1071, section 3: the sum of these words folds to 0xddf2.
        const ByteVector rfc = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
        QCOMPARE(ChecksumFinish(ChecksumSum(rfc)), std::uint16_t(0x220d));
        QCOMPARE(InternetChecksum(rfc), std::uint16_t(0x220d));
        // A well-known IPv4 header, checksum field zeroed.
        const ByteVector ip = {0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,
                               0x00, 0x00, 0xc0, 0xa8, 0x00, 0x01, 0xc0, 0xa8, 0x00, 0xc7};
        QCOMPARE(InternetChecksum(ip), std::uint16_t(0xb861));
        // An odd last byte counts as the high half of a word.
        QCOMPARE(InternetChecksum(ByteVector{0x01}), std::uint16_t(0xfeff));
        QCOMPARE(InternetChecksum(ByteVector{}), std::uint16_t(0xffff));
    }

    void icmp6ChecksumMatchesKernel()
    {
        // An echo request ::1 -> ::1 (identifier 0x1234, sequence 1, 36 bytes
        // "7") whose checksum a network stack filled in as 0x8b80.
        ByteVector message = Concat({{128, 0, 0, 0, 0x12, 0x34, 0x00, 0x01}, ByteVector(36, '7')});
        Bytes16 loopback{};
        loopback[15] = 1;
        QCOMPARE(Icmp6Checksum(loopback, loopback, message), std::uint16_t(0x8b80));
        SetIcmp6Checksum(message, loopback, loopback);
        QCOMPARE(message[2], std::uint8_t(0x8b));
        QCOMPARE(message[3], std::uint8_t(0x80));
        // Summed again with its checksum in place, a message verifies to 0.
        QCOMPARE(Icmp6Checksum(loopback, loopback, message), std::uint16_t(0));
        Bytes16 other = loopback;
        other[0] = 0xfe;
        QVERIFY(Icmp6Checksum(other, loopback, message) != 0);
    }

    void requestLayout()
    {
        const ByteVector request = BuildEchoRequest(EchoRequestV4, 0x1234, 0x0201, 0xAABBCCDD, 32);
        QCOMPARE(request.size(), std::size_t(44));
        QCOMPARE(request[0], std::uint8_t(8));
        QCOMPARE(request[1], std::uint8_t(0));
        // Identifier, sequence and time stamp least significant byte first.
        QCOMPARE(request[4], std::uint8_t(0x34));
        QCOMPARE(request[5], std::uint8_t(0x12));
        QCOMPARE(request[6], std::uint8_t(0x01));
        QCOMPARE(request[7], std::uint8_t(0x02));
        QCOMPARE(request[8], std::uint8_t(0xDD));
        QCOMPARE(request[11], std::uint8_t(0xAA));
        QVERIFY(std::all_of(request.begin() + 12, request.end(), [](auto b) { return b == '7'; }));
        QCOMPARE(InternetChecksum(request), std::uint16_t(0));

        ByteVector changed = request;
        SetIdentifierBytes(changed, 0x99, 0x01);
        SetIcmp4Checksum(changed);
        QCOMPARE(InternetChecksum(changed), std::uint16_t(0));
        QCOMPARE(HeadOf(changed)[4], std::uint8_t(0x99));
        QCOMPARE(BuildEchoRequest(EchoRequestV6, 1, 1, 0, 32)[0], std::uint8_t(128));
    }

    void identifiersStayInRange()
    {
        ReseedRandom();
        for (int i = 0; i < 20000; ++i)
            QVERIFY(RandomIdentifier() <= 32766);
    }

    void acceptanceV4()
    {
        const ByteVector request = BuildEchoRequest(EchoRequestV4, 0x1234, 1, 777, 32);
        const RequestHead head = HeadOf(request);
        const auto accepted = [&](const ByteVector &packet) { return IsAcceptedAnswer(packet, true, head); };

        // Probing the loopback, the raw socket first sees its own request.
        QVERIFY(!accepted(Concat({IPv4Header(), request})));
        QVERIFY(accepted(Concat({IPv4Header(), WithType(request, EchoReplyV4)})));
        // The header length comes from IHL, options included.
        QVERIFY(accepted(Concat({IPv4Header(6), WithType(request, EchoReplyV4)})));

        ByteVector foreign = WithType(request, EchoReplyV4);
        foreign[4] = 0x35;
        QVERIFY(!accepted(Concat({IPv4Header(), foreign})));

        // Routers' errors quote the request: they count as answers.
        QVERIFY(accepted(Concat({IPv4Header(), IcmpError(3, 1, request)})));
        QVERIFY(accepted(Concat({IPv4Header(), IcmpError(11, 0, request)})));
        // ... but only when they quote this request.
        const ByteVector other = BuildEchoRequest(EchoRequestV4, 0x1234, 2, 777, 32);
        QVERIFY(!accepted(Concat({IPv4Header(), IcmpError(3, 1, other)})));
    }

    void errorsDoNotMatchIdentifierZero()
    {
        // An error message's "unused" bytes are zeros where an echo reply
        // has its identifier; identifier 0 must not match every such error.
        const ByteVector request = BuildEchoRequest(EchoRequestV4, 0, 1, 5, 32);
        const ByteVector unrelated = BuildEchoRequest(EchoRequestV4, 0x2222, 9, 5, 32);
        QVERIFY(!IsAcceptedAnswer(Concat({IPv4Header(), IcmpError(3, 3, unrelated)}), true, HeadOf(request)));
        QVERIFY(IsAcceptedAnswer(Concat({IPv4Header(), WithType(request, EchoReplyV4)}), true, HeadOf(request)));
    }

    void acceptanceWithoutIPHeader()
    {
        // IPv6 and datagram sockets hand over the ICMP message alone.
        const ByteVector request = BuildEchoRequest(EchoRequestV6, 0x0102, 1, 5, 32);
        const RequestHead head = HeadOf(request);
        QVERIFY(!IsAcceptedAnswer(request, false, head));
        QVERIFY(IsAcceptedAnswer(WithType(request, EchoReplyV6), false, head));
        // Type 0 is no echo reply in ICMPv6.
        QVERIFY(!IsAcceptedAnswer(WithType(request, 0), false, head));
        ByteVector unreachable = Concat({{1, 4, 0, 0, 0, 0, 0, 0}, ByteVector(40, 0), request});
        QVERIFY(IsAcceptedAnswer(unreachable, false, head));
        // Neighbour discovery and other chatter on the link.
        QVERIFY(!IsAcceptedAnswer(Concat({{135, 0, 0x11, 0x22, 0, 0, 0, 0}, ByteVector(16, 0)}), false, head));
    }

    void brokenPacketsAreRejected()
    {
        const ByteVector request = BuildEchoRequest(EchoRequestV4, 0x1234, 1, 777, 32);
        const RequestHead head = HeadOf(request);
        const ByteVector reply = WithType(request, EchoReplyV4);
        QVERIFY(!IsAcceptedAnswer(ByteVector{}, true, head));
        QVERIFY(!IsAcceptedAnswer(ByteVector{}, false, head));
        QVERIFY(!IsAcceptedAnswer(ByteVector{0x45}, true, head));
        // IHL beyond the packet, IHL below the minimum.
        QVERIFY(!IsAcceptedAnswer(Concat({{0x4F}, ByteVector(19, 0)}), true, head));
        ByteVector shortIhl = Concat({IPv4Header(), reply});
        shortIhl[0] = 0x41;
        QVERIFY(!IsAcceptedAnswer(shortIhl, true, head));
        // Truncated ICMP part.
        QVERIFY(!IsAcceptedAnswer(Concat({IPv4Header(), ByteVector(reply.begin(), reply.begin() + 6)}), true, head));

        auto *random = QRandomGenerator::global();
        for (int i = 0; i < 5000; ++i) {
            ByteVector garbage(random->bounded(0, 120));
            for (auto &b : garbage)
                b = std::uint8_t(random->bounded(256));
            IsAcceptedAnswer(garbage, true, head);
            IsAcceptedAnswer(garbage, false, head);
        }
    }

    void hostText_data()
    {
        QTest::addColumn<std::wstring>("input");
        QTest::addColumn<std::wstring>("expected");
        QTest::newRow("address") << std::wstring(L"127.0.0.10") << std::wstring(L"127.0.0.10");
        QTest::newRow("blanks around") << std::wstring(L"  servidor\t") << std::wstring(L"servidor");
        QTest::newRow("name") << std::wstring(L"srv-01.loja_2.local") << std::wstring(L"srv-01.loja_2.local");
        QTest::newRow("ipv6") << std::wstring(L"::1") << std::wstring(L"::1");
        QTest::newRow("ipv6 brackets") << std::wstring(L"[fe80::1%eth0]") << std::wstring(L"fe80::1%eth0");
        QTest::newRow("empty") << std::wstring() << std::wstring();
        QTest::newRow("blank") << std::wstring(L" \t ") << std::wstring();
        QTest::newRow("port") << std::wstring(L"127.0.0.1:3050") << std::wstring();
        QTest::newRow("name with port") << std::wstring(L"servidor:3050") << std::wstring();
        QTest::newRow("bracketed with port") << std::wstring(L"[::1]:3050") << std::wstring();
        QTest::newRow("path") << std::wstring(L"host/path") << std::wstring();
        QTest::newRow("windows path") << std::wstring(L"C:\\dados\\DBEMPRESA.FDB") << std::wstring();
        QTest::newRow("unc") << std::wstring(L"\\\\servidor") << std::wstring();
        QTest::newRow("inner space") << std::wstring(L"serv idor") << std::wstring();
        QTest::newRow("control") << std::wstring(L"serv\x01idor") << std::wstring();
        QTest::newRow("scope without ipv6") << std::wstring(L"host%1") << std::wstring();
        QTest::newRow("too long") << std::wstring(300, L'a') << std::wstring();
    }

    void hostText()
    {
        QFETCH(std::wstring, input);
        QFETCH(std::wstring, expected);
        QVERIFY(NormalizeHost(input) == expected);
    }

    void dottedQuads_data()
    {
        QTest::addColumn<std::wstring>("host");
        QTest::addColumn<QString>("expected"); // empty: left to the resolver
        QTest::newRow("loopback") << std::wstring(L"127.0.0.1") << QStringLiteral("127.0.0.1");
        QTest::newRow("bounds") << std::wstring(L"0.255.10.200") << QStringLiteral("0.255.10.200");
        QTest::newRow("octal to inet_aton") << std::wstring(L"010.0.0.1") << QString();
        QTest::newRow("short form") << std::wstring(L"127.1") << QString();
        QTest::newRow("over 255") << std::wstring(L"256.0.0.1") << QString();
        QTest::newRow("four digits") << std::wstring(L"1234.0.0.1") << QString();
        QTest::newRow("five parts") << std::wstring(L"1.2.3.4.5") << QString();
        QTest::newRow("trailing dot") << std::wstring(L"1.2.3.4.") << QString();
        QTest::newRow("empty part") << std::wstring(L"1..3.4") << QString();
        QTest::newRow("name") << std::wstring(L"localhost") << QString();
        QTest::newRow("name like an address") << std::wstring(L"1.2.3.com") << QString();
    }

    void dottedQuads()
    {
        QFETCH(std::wstring, host);
        QFETCH(QString, expected);
        const auto address = ParseDottedQuad(host);
        QCOMPARE(address.has_value(), !expected.isEmpty());
        if (address) {
            QCOMPARE(address->Family, 4);
            QCOMPARE(QStringLiteral("%1.%2.%3.%4").arg(address->Bytes[0]).arg(address->Bytes[1])
                         .arg(address->Bytes[2]).arg(address->Bytes[3]),
                     expected);
        }
    }

    void waitIsBoundedDespiteChatter()
    {
        const ByteVector request = BuildEchoRequest(EchoRequestV4, 0x1234, 1, 777, 32);
        const ByteVector chatter = Concat({IPv4Header(), WithType(BuildEchoRequest(EchoRequestV4, 7, 7, 7, 32), 0)});
        int deliveries = 0;
        int longestWait = 0;
        const ReceiveOne endless = [&](int waitMs, ByteVector &packet) {
            longestWait = std::max(longestWait, waitMs);
            QThread::msleep(std::min(waitMs, 20));
            packet = chatter;
            ++deliveries;
            return true;
        };
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!AwaitAnswer(endless, MillisecondClock(), 300, true, HeadOf(request)).has_value());
        QVERIFY(timer.elapsed() < 600);
        QVERIFY(deliveries > 3);
        QVERIFY(longestWait <= 300);
    }

    void answerAfterChatterIsTimed()
    {
        const ByteVector request = BuildEchoRequest(EchoRequestV4, 0x1234, 1, 777, 32);
        int calls = 0;
        const ReceiveOne receive = [&](int, ByteVector &packet) {
            ++calls;
            if (calls == 1)
                return true; // nothing read this time: wait again
            packet = Concat({IPv4Header(), calls < 4 ? request : WithType(request, EchoReplyV4)});
            if (calls == 4)
                QThread::msleep(30);
            return true;
        };
        const auto took = AwaitAnswer(receive, MillisecondClock(), 2000, true, HeadOf(request));
        QVERIFY(took.has_value());
        QCOMPARE(calls, 4);
        QVERIFY(*took >= 25 && *took < 2000);

        const ReceiveOne failing = [](int, ByteVector &) { return false; };
        QVERIFY(!AwaitAnswer(failing, MillisecondClock(), 2000, true, HeadOf(request)).has_value());
    }

    void ipv4IsPreferred()
    {
        const std::uint8_t six[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        const std::uint8_t four[4] = {192, 168, 0, 10};
        const auto v6 = MakeAddress(6, six, 3);
        const auto v4 = MakeAddress(4, four);
        QCOMPARE(PreferIPv4({v6, v4})->Family, 4);
        QCOMPARE(PreferIPv4({v6, v4})->Bytes[3], std::uint8_t(10));
        QCOMPARE(PreferIPv4({v6})->ScopeId, std::uint32_t(3));
        QVERIFY(!PreferIPv4({}).has_value());
    }

    void clockDifferencesWrap()
    {
        QCOMPARE(ElapsedMs(0xFFFFFFF0u, 0x10u), std::uint32_t(0x20));
        QCOMPARE(ElapsedMs(100, 150), std::uint32_t(50));
    }

    void loopbackAnswers_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("ipv4") << QStringLiteral("127.0.0.1");
        QTest::newRow("ipv6") << QStringLiteral("::1");
        QTest::newRow("name") << QStringLiteral("localhost");
    }

    void loopbackAnswers()
    {
        QFETCH(QString, host);
#ifdef Q_OS_WIN
        // Wine's IP helper does not echo over IPv6; Windows does.
        if (host == QStringLiteral("::1") && GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
            QSKIP("no ICMPv6 echo under Wine");
#endif
        TPINGSend probe(3000);
        QCOMPARE(probe.PingTime, -1);
        if (!probe.Ping(host.toStdWString()))
            QFAIL(qPrintable(NoAnswer(host)));
        QVERIFY(probe.PingTime >= 0);
        QVERIFY(probe.PingTime < 3000);
        // A second request on the same probe works as well.
        if (!probe.Ping(host.toStdWString()))
            QFAIL(qPrintable(NoAnswer(host)));
        QVERIFY(PingResponseTime(host, 3000) >= 0);
    }

    void settings()
    {
        TPINGSend probe;
        QCOMPARE(probe.Timeout(), 5000);
        QCOMPARE(probe.PacketSize(), 32);
        QCOMPARE(probe.TTL(), 128);
        QCOMPARE(probe.RecvBufferSize(), 61440);
        QCOMPARE(probe.BindAddress(), std::string("0.0.0.0"));
        QCOMPARE(probe.BindPort(), std::string("0"));
        QCOMPARE(probe.Sequence(), std::uint16_t(0));
#ifndef Q_OS_WIN
        // Here every request goes through a socket and counts.
        probe.Ping(L"127.0.0.1");
        probe.Ping(L"127.0.0.1");
        QCOMPARE(probe.Sequence(), std::uint16_t(2));
#endif
    }

    void badHostsFailQuickly_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("empty") << QString();
        QTest::newRow("blank") << QStringLiteral("   ");
        QTest::newRow("port") << QStringLiteral("127.0.0.1:3050");
        QTest::newRow("path") << QStringLiteral("host/path");
        QTest::newRow("bad ipv6") << QStringLiteral("::zz::1");
    }

    void badHostsFailQuickly()
    {
        QFETCH(QString, host);
        TPINGSend probe(1500);
        if (!probe.Ping(L"127.0.0.1"))
            QFAIL(qPrintable(NoAnswer(QStringLiteral("127.0.0.1"))));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!probe.Ping(host.toStdWString()));
        QCOMPARE(probe.PingTime, -1);
        QVERIFY2(timer.elapsed() < 2000, "longer than the time-out");
    }
};

QTEST_GUILESS_MAIN(TestPingSend)
#include "tst_pingsend.moc"
