// The engine's decisions in a simulated world: the real TSyncCore on a virtual
// clock against an in-memory ERP table and turnstile servers with fault
// switches. A seeded generator draws schedules of ERP changes, faults and user
// actions. After every step the turnstile table is checked against the ERP's
// last read (a tab read open may read closed only while the cycle writing it
// runs), and once the last fault is over the turnstile must follow the ERP
// within 5 s plus two cycles and stay in step.
//   CATRACA_SIM_RUNS=N    schedules to draw (default 5000)
//   CATRACA_SIM_TABS=N    tab numbers the schedules draw from (default 12)
//   CATRACA_SIM_SEED=S    replays one schedule, printing what happens
#include "engine/sync_core.h"

#include <QtTest>
#include <map>
#include <random>
#include <set>

namespace {

struct Violation {
    QString what;
};

struct VirtualClock : IClock {
    qint64 now = 0;
    qint64 NowMs() const override { return now; }
};

// What a call into a silent peer costs before it gives up: an attach or a
// connection leaves the next attempt to a fresh one after a short patience;
// a statement on an open connection waits out the client's read time-out.
constexpr qint64 SilentAttachMs = AttemptPatience.count();
constexpr qint64 SilentOpenMs = AttemptPatience.count();
constexpr qint64 SilentStatementMs = 15000;

// ---------------------------------------------------------------- the ERP
struct SimErp : IErpPort {
    VirtualClock &clock;
    std::mt19937 jitter;
    std::set<int> open;          // COMANDAS rows with a total above zero
    bool down = false;           // refuses connections, drops the attachment
    bool silent = false;         // accepts, then never answers
    qint64 slowMs = 0;           // each read takes about this long
    bool attached = false;
    std::chrono::milliseconds limit{10000};
    std::set<int> lastRead;      // the rows of the last complete read
    qint64 lastReadAt = -1;
    int reads = 0;

    SimErp(VirtualClock &c, quint32 seed) : clock(c), jitter(seed) {}
    QString Address() const override { return QStringLiteral("erp:/DBEMPRESA.FDB"); }
    bool Attached() const override { return attached; }
    void Detach() noexcept override { attached = false; }
    void SetCallLimit(std::chrono::milliseconds l) override { limit = l; }
    [[noreturn]] void TimeOut(qint64 ms)
    {
        clock.now += ms;
        attached = false;
        throw TCallTimedOut(QStringLiteral("O servidor não respondeu."));
    }
    void Attach(const TErpSettings &) override
    {
        attached = false;
        if (silent)
            TimeOut(SilentAttachMs);
        if (down)
            throw KrError(QStringLiteral("Unable to complete network request to host"));
        attached = true;
    }
    struct Query : IOpenTabsQuery {
        SimErp &erp;
        std::vector<int> rows;
        size_t pos = 0;
        Query(SimErp &e, std::vector<int> r) : erp(e), rows(std::move(r)) {}
        void First() override { pos = 0; }
        bool Eof() const override { return pos >= rows.size(); }
        void Next() override { ++pos; }
        QVariant FieldValue(const QString &) const override { return QVariant(rows.at(pos)); }
        int RecordCount() const override { return int(rows.size()); }
        void Finish() override
        {
            erp.lastRead = std::set<int>(rows.begin(), rows.end());
            erp.lastReadAt = erp.clock.now;
            ++erp.reads;
        }
    };
    void CheckAlive() override
    {
        if (!attached)
            throw KrError(QStringLiteral("O banco de dados do ERP não está conectado."));
        if (silent)
            TimeOut(limit.count());
        if (down) {
            attached = false;
            throw KrError(QStringLiteral("connection shutdown"));
        }
    }
    std::unique_ptr<IOpenTabsQuery> OpenQuery(const QString &) override
    {
        CheckAlive();
        // A slow ERP is not equally slow every time: a limit fitted too
        // closely to one good cycle cancels the next.
        const qint64 readMs = slowMs * std::uniform_int_distribution<int>(70, 130)(jitter) / 100;
        if (readMs > limit.count())
            TimeOut(limit.count());
        clock.now += readMs;
        return std::make_unique<Query>(*this, std::vector<int>(open.begin(), open.end()));
    }
};

// ------------------------------------------------------ the turnstile side
struct Server {
    std::map<int, int> rows; // num_comanda -> fl_comanda
    // Tabs written closed while the ERP's last read had them open: allowed
    // only until the cycle that did it has written them open again.
    std::set<int> closedWhileOpen;
    bool down = false;
    bool silent = false;
    qint64 downUntil = -1;   // an outage that ends by itself
    int epoch = 0;           // a restart drops every connection
    quint64 nextId = 1;      // connection ids, from 1 at each start
};

struct SimTurnstile : ITurnstilePort {
    VirtualClock &clock;
    SimErp &erp;
    std::map<QString, Server> servers{{QStringLiteral("A"), {}}, {QStringLiteral("B"), {}}};
    QString settingsHost = QStringLiteral("A"); // what the file on disk says
    qint64 idleTimeoutMs = 45000;
    // The next write is refused / loses the connection before or after its
    // commit; the next reset is refused, or the server goes away right after it.
    enum class Next { Nothing, Refuse, DropBefore, DropAfter, RefuseReset, OutageAfterReset } next = Next::Nothing;
    qint64 outageMs = 0;
    bool userDisconnected = false;
    QList<Violation> *violations = nullptr;

    QStringList params;
    bool connected = false;
    QString host;
    int epoch = 0;
    qint64 lastUse = 0;
    int readsAtLastReset = -1;
    qint64 lastFault = -1000000; // when a fault last showed itself
    quint64 lastId = 0;
    int restarts = 0;

    SimTurnstile(VirtualClock &c, SimErp &e) : clock(c), erp(e) {}
    void Violate(const QString &what) { *violations << Violation{what}; }
    Server &Current() { return servers[host]; }

    QString Address() const override { return host; }
    int ServerRestarts() const override { return restarts; }
    bool Connected() const override { return connected; }
    QStringList LoadParams(const QString &) override { return {QStringLiteral("HostName=") + settingsHost}; }
    // Each server numbers its own connections.
    void Switch(const QStringList &p) { if (p != params) lastId = 0; }
    void Close() override { connected = false; }
    void Open(const QStringList &p) override
    {
        if (userDisconnected)
            Violate(QStringLiteral("reconnected after the user disconnected"));
        connected = false;
        Switch(p);
        params = p;
        host = p.value(0).mid(9);
        Server &s = Current();
        if (s.silent) {
            clock.now += SilentOpenMs;
            throw TCallTimedOut(QStringLiteral("Can't connect to server (timed out)"));
        }
        if (s.down)
            throw KrError(QStringLiteral("Can't connect to server on '127.0.0.1' (111)"));
        connected = true;
        if (s.nextId < lastId)
            ++restarts;
        lastId = s.nextId++;
        epoch = s.epoch;
        lastUse = clock.now;
    }
    void Reconnect() override { Open(params); }
    // The round trip every statement makes; false when the connection is gone.
    void RoundTrip()
    {
        Server &s = Current();
        if (!connected)
            throw KrError(QStringLiteral("not connected"));
        if (s.silent) {
            clock.now += SilentStatementMs;
            connected = false;
            throw KrError(QStringLiteral("Lost connection to server during query (timed out)"));
        }
        if (s.down || epoch != s.epoch || clock.now - lastUse > idleTimeoutMs) {
            if (s.down || epoch != s.epoch)
                lastFault = std::max(lastFault, clock.now);
            connected = false;
            throw KrError(QStringLiteral("Server has gone away"));
        }
        lastUse = clock.now;
    }
    void CheckAlive() override { RoundTrip(); }
    void SetRow(int number, int flag)
    {
        Server &s = Current();
        s.rows[number] = flag;
        if (flag == 0)
            s.closedWhileOpen.erase(number);
        else if (erp.lastRead.count(number))
            s.closedWhileOpen.insert(number);
    }
    void ExecuteDirect(const QString &sql) override
    {
        // "update cad_comanda set fl_comanda = 1", whole or with the tabs to
        // leave alone: "... where num_comanda not in (1, 2) or num_comanda is null".
        static const QRegularExpression reset(QStringLiteral(
            R"(^update cad_comanda set fl_comanda = 1(?: where num_comanda not in \(([-0-9, ]+)\) or num_comanda is null)?$)"));
        const QRegularExpressionMatch m = reset.match(sql);
        if (!m.hasMatch())
            Violate(QStringLiteral("unexpected statement ") + sql);
        std::set<int> kept;
        for (const QString &n : m.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
            kept.insert(n.trimmed().toInt());
        RoundTrip();
        if (erp.reads == readsAtLastReset)
            Violate(QStringLiteral("reset without a read of the ERP since the last one"));
        if (std::exchange(next, next == Next::RefuseReset ? Next::Nothing : next) == Next::RefuseReset) {
            lastFault = std::max(lastFault, clock.now);
            throw KrError(QStringLiteral("UPDATE command denied"));
        }
        readsAtLastReset = erp.reads;
        for (const auto &row : std::map<int, int>(Current().rows))
            if (!kept.count(row.first))
                SetRow(row.first, 1);
        if (next == Next::OutageAfterReset) {
            // The reset is committed and answered; then the link is gone.
            next = Next::Nothing;
            lastFault = clock.now + outageMs;
            Current().down = true;
            Current().downUntil = clock.now + outageMs;
        }
    }
    void ExecuteAtomically(const QStringList &statements) override
    {
        RoundTrip();
        const int number = statements.at(0).section(QLatin1Char(' '), -1).toInt();
        const int flag = statements.at(1).endsWith(QLatin1String("1)")) ? 1 : 0;
        if (flag == 1 && erp.lastRead.count(number))
            Violate(QStringLiteral("tab %1 written closed while the ERP had it open").arg(number));
        const Next fault = next;
        if (fault == Next::Refuse || fault == Next::DropBefore || fault == Next::DropAfter) {
            next = Next::Nothing;
            lastFault = std::max(lastFault, clock.now);
        }
        if (fault == Next::Refuse)
            throw KrError(QStringLiteral("Duplicate entry"));
        if (fault == Next::DropBefore) {
            connected = false;
            throw KrError(QStringLiteral("Lost connection to server during query"));
        }
        SetRow(number, flag);
        if (fault == Next::DropAfter) {
            connected = false;
            throw KrError(QStringLiteral("Lost connection to server during query"));
        }
    }
};

// ------------------------------------------------------------ a schedule
struct Event {
    qint64 at;
    int kind;
    int arg;
};

enum Kind {
    ErpOpen, ErpClose, ErpDown, ErpUp, ErpSilent, ErpSpeaks, ErpSlow, TsDown, TsUp, TsSilent, TsSpeaks,
    TsRestartEmpty, WriteRefused, DropBeforeCommit, DropAfterCommit, ResetRefused, OutageAfterReset, SettingsToB,
    SettingsToA, UserConnect, UserDisconnect, KindCount
};
const char *const KindNames[] = {
    "ERP opens tab", "ERP closes tab", "ERP down", "ERP up", "ERP silent", "ERP answers", "ERP slow (ms)",
    "turnstile down", "turnstile up", "turnstile silent", "turnstile answers", "turnstile restarted empty",
    "next write refused", "connection drops before commit", "connection drops after commit (answer lost)",
    "next reset refused", "turnstile down right after the next reset (ms)", "settings file now names server B",
    "settings file names server A again", "user: Conectar", "user: Desconectar"};
bool IsTurnstileFault(int kind)
{
    return kind >= TsDown && kind <= OutageAfterReset;
}

struct Schedule {
    std::vector<Event> events;
    qint64 lastFault = 0;    // when the last fault (or user action) is over
    qint64 longestReadMs = 0;
};

// The time a cycle takes at its longest in this schedule.
qint64 CycleMs(const Schedule &s)
{
    return TSyncCore::TickMs + s.longestReadMs * 13 / 10;
}

// Faults come and go in pairs, so the world is healthy after the last one,
// but for a slow ERP, which may stay slow.
Schedule Draw(std::mt19937 &rng, int tabs)
{
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Schedule s;
    std::vector<Event> &events = s.events;
    std::vector<Event> silences;
    const qint64 length = 600000;
    for (int i = 0, n = pick(20, 60); i < n; ++i)
        events.push_back({pick(0, int(length)), pick(0, 1) ? ErpOpen : ErpClose, pick(1, tabs)});
    for (int i = 0; i < 8; ++i)
        events.push_back({0, ErpOpen, pick(1, tabs)});
    for (int i = 0, n = pick(1, 8); i < n; ++i) {
        const qint64 at = pick(0, int(length));
        qint64 until = at + pick(1000, 120000);
        const int kind = pick(ErpDown, UserDisconnect);
        switch (kind) {
        case ErpSilent: case TsSilent:
            silences.push_back({at, kind, 0});
            [[fallthrough]];
        case ErpDown: case TsDown:
            events.push_back({at, kind, 0});
            events.push_back({until, kind + 1, 0});
            break;
        case ErpSlow: {
            const int slow = pick(0, 1) ? pick(11000, 25000) : pick(100, 5000);
            events.push_back({at, ErpSlow, slow});
            s.longestReadMs = std::max<qint64>(s.longestReadMs, slow);
            if (pick(0, 1))
                events.push_back({until, ErpSlow, 0});
            // A read slower than the call limit is cancelled, and tried again
            // with twice the limit, until it fits.
            until = at;
            for (qint64 limit = TSyncCore::DefaultErpLimit.count(); limit < slow * 13 / 10; limit *= 2)
                until += limit + TReconnectPolicy::MaxDelayMs + TSyncCore::TickMs;
            break;
        }
        case OutageAfterReset:
            events.push_back({at, kind, int(until - at)});
            // The reset comes at the next connect.
            events.push_back({at + 1, UserConnect, 0});
            break;
        case SettingsToB:
            events.push_back({at, SettingsToB, 0});
            if (pick(0, 1))
                events.push_back({until, SettingsToA, 0});
            break;
        case UserDisconnect:
            events.push_back({at, UserDisconnect, 0});
            events.push_back({until, UserConnect, 0});
            break;
        case ErpUp: case ErpSpeaks: case TsUp: case TsSpeaks: case SettingsToA:
            continue;
        default:
            events.push_back({at, kind, 0});
        }
        s.lastFault = std::max(s.lastFault, until);
    }
    // A hidden start: the ERP may be down at the start, the turnstile up.
    if (pick(0, 3) == 0) {
        const qint64 until = pick(5000, 90000);
        events.push_back({0, ErpDown, 0});
        events.push_back({until, ErpUp, 0});
        s.lastFault = std::max(s.lastFault, until);
    }
    // A call already waiting on a connection that went silent waits out its
    // bound; only then is a fresh connection tried.
    for (const Event &e : silences) {
        const qint64 bound = e.kind == TsSilent ? SilentStatementMs
                                                : std::clamp<qint64>(2 * CycleMs(s), TSyncCore::DefaultErpLimit.count(),
                                                                     TSyncCore::MaxErpLimit.count());
        s.lastFault = std::max(s.lastFault, e.at + bound);
    }
    events.push_back({1, UserConnect, 0});
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) { return a.at < b.at; });
    return s;
}

struct Events : ISyncEvents {
    std::function<void(bool)> cycleEnded;
    std::function<void(bool)> connected;
    bool trace = false;
    void OnCycleEnded(bool synchronised) override { cycleEnded(synchronised); }
    void OnTurnstileConnected(bool c) override { connected(c); }
    void OnLog(const QString &line) override
    {
        if (trace)
            qInfo().noquote() << "    engine:" << line;
    }
};

struct World {
    VirtualClock clock;
    SimErp erp;
    SimTurnstile turnstile{clock, erp};
    Events events;
    TSyncCore core{clock, erp, turnstile, events};
    QList<Violation> violations;
    QString confirmedHost = QStringLiteral("A"); // the server of the last connect
    std::map<int, QString> faultServer;          // the server each switch was set on
    qint64 lastTurnstileFault = -1000000;        // a turnstile fault switched on or off
    qint64 scheduleQuiet = 0;                    // the schedule's faults are over
    qint64 promiseMs = 0;                        // 5 s plus two cycles
    bool disconnected = false;
    int step = 0;

    explicit World(quint32 seed) : erp(clock, seed)
    {
        turnstile.violations = &violations;
        events.cycleEnded = [this](bool synchronised) {
            // The window says "SINCRONIZADO": the turnstile holds what that
            // cycle read, no more, no less.
            if (synchronised && TurnstileOpen() != erp.lastRead)
                Violate(QStringLiteral("synchronised, but the turnstile differs from the ERP read"));
            if (!synchronised && Settled())
                Violate(QStringLiteral("a cycle failed %1 s after the last fault").arg((clock.now - QuietSince()) / 1000.0));
        };
        events.connected = [this](bool c) {
            const Server &s = turnstile.servers[confirmedHost];
            const qint64 quiet = clock.now - std::max(lastTurnstileFault, turnstile.lastFault);
            if (!c && !disconnected && !s.down && !s.silent && quiet > 20000)
                Violate(QStringLiteral("turnstile reported lost with no fault on its side"));
        };
    }
    void Violate(const QString &what) { violations << Violation{what}; }
    std::set<int> TurnstileOpen()
    {
        std::set<int> result;
        for (const auto &[number, flag] : turnstile.servers[confirmedHost].rows)
            if (flag == 0)
                result.insert(number);
        return result;
    }
    qint64 QuietSince() const { return std::max({scheduleQuiet, turnstile.lastFault, lastTurnstileFault}); }
    bool Settled() const { return !disconnected && clock.now >= QuietSince() + promiseMs; }
    // Between steps no cycle is running: the states it may pass through are over.
    void CheckState()
    {
        Server &s = turnstile.servers[confirmedHost];
        for (auto it = s.closedWhileOpen.begin(); it != s.closedWhileOpen.end();) {
            if (!erp.lastRead.count(*it) || s.rows[*it] != 1) {
                it = s.closedWhileOpen.erase(it);
                continue;
            }
            Violate(QStringLiteral("tab %1, open in the ERP's last read, reads closed after the cycle").arg(*it));
            return;
        }
        if (Settled() && (erp.lastReadAt < QuietSince() || TurnstileOpen() != erp.lastRead))
            Violate(QStringLiteral("not in step with the ERP %1 s after the last fault")
                        .arg((clock.now - QuietSince()) / 1000.0));
    }
    void EndOutages()
    {
        for (auto &[name, server] : turnstile.servers)
            if (server.downUntil >= 0 && clock.now >= server.downUntil) {
                server.down = false;
                server.downUntil = -1;
                lastTurnstileFault = clock.now;
            }
    }
    Server &FaultServer(int kind, bool set)
    {
        // A switch is turned off on the server it was turned on, whatever
        // server the settings name by then.
        if (set)
            faultServer[kind] = confirmedHost;
        return turnstile.servers[faultServer.count(kind) ? faultServer[kind] : confirmedHost];
    }
    void Apply(const Event &e)
    {
        if (IsTurnstileFault(e.kind))
            lastTurnstileFault = clock.now;
        switch (e.kind) {
        case ErpOpen: erp.open.insert(e.arg); break;
        case ErpClose: erp.open.erase(e.arg); break;
        case ErpDown: erp.down = true; break;
        case ErpUp: erp.down = false; break;
        case ErpSilent: erp.silent = true; break;
        case ErpSpeaks: erp.silent = false; break;
        case ErpSlow: erp.slowMs = e.arg; break;
        case TsDown: FaultServer(TsDown, true).down = true; break;
        case TsUp: FaultServer(TsDown, false).down = false; break;
        case TsSilent: FaultServer(TsSilent, true).silent = true; break;
        case TsSpeaks: FaultServer(TsSilent, false).silent = false; break;
        case TsRestartEmpty: {
            Server &a = turnstile.servers[confirmedHost];
            a.rows.clear();
            a.closedWhileOpen.clear();
            ++a.epoch;
            a.nextId = 1;
            break;
        }
        case WriteRefused: turnstile.next = SimTurnstile::Next::Refuse; break;
        case DropBeforeCommit: turnstile.next = SimTurnstile::Next::DropBefore; break;
        case DropAfterCommit: turnstile.next = SimTurnstile::Next::DropAfter; break;
        case ResetRefused: turnstile.next = SimTurnstile::Next::RefuseReset; break;
        case OutageAfterReset:
            turnstile.next = SimTurnstile::Next::OutageAfterReset;
            turnstile.outageMs = e.arg;
            break;
        case SettingsToB: turnstile.settingsHost = QStringLiteral("B"); break;
        case SettingsToA: turnstile.settingsHost = QStringLiteral("A"); break;
        case UserConnect:
            disconnected = turnstile.userDisconnected = false;
            confirmedHost = turnstile.settingsHost;
            core.ConnectTurnstile(QStringLiteral("dbxconnections.ini"));
            break;
        case UserDisconnect:
            disconnected = true;
            core.DisconnectTurnstile();
            turnstile.userDisconnected = true;
            break;
        }
    }
};

// Runs one schedule; the first broken promise, or an empty string.
QString Run(quint32 seed, int tabs, bool trace)
{
    std::mt19937 rng(seed);
    const Schedule schedule = Draw(rng, tabs);
    const std::vector<Event> &events = schedule.events;
    World w(seed);
    w.events.trace = trace;
    w.scheduleQuiet = schedule.lastFault;
    // What a user may wait once the peers answer again: 5 s, then two cycles.
    w.promiseMs = 5000 + 2 * CycleMs(schedule);
    if (trace)
        qInfo("  faults over at %.3f s; in step %.3f s later", schedule.lastFault / 1000.0, w.promiseMs / 1000.0);
    const qint64 lastChange = std::max(schedule.lastFault, events.back().at);
    // Then long enough in a healthy world to see that it stays in step.
    const qint64 steadyMs = 30000;
    // An outage that began at a reset may end after the schedule's last event.
    auto end = [&] { return std::max(lastChange, w.QuietSince()) + w.promiseMs + steadyMs; };
    size_t next = 0;
    while (w.clock.now <= end()) {
        if (w.step == 1)
            w.core.Start(TErpSettings{QStringLiteral("erp:/DBEMPRESA.FDB"), {}});
        w.EndOutages();
        while (next < events.size() && events[next].at <= w.clock.now) {
            const Event &e = events[next++];
            if (trace)
                qInfo().noquote() << QStringLiteral("  %1 s: %2 %3").arg(w.clock.now / 1000.0).arg(
                    QLatin1String(KindNames[e.kind]), e.arg ? QString::number(e.arg) : QString());
            w.Apply(e);
        }
        ++w.step;
        w.core.RunDue();
        w.CheckState();
        if (!w.violations.isEmpty())
            return QStringLiteral("step %1 at %2 s: %3").arg(w.step).arg(w.clock.now / 1000.0).arg(w.violations[0].what);
        qint64 wake = w.core.NextDueMs();
        if (next < events.size() && (wake < 0 || events[next].at < wake))
            wake = events[next].at;
        w.clock.now = std::max(w.clock.now + 1, wake < 0 ? end() + 1 : wake);
    }
    if (!w.disconnected && w.TurnstileOpen() != w.erp.open)
        return QStringLiteral("not converged %1 s after the last change").arg((end() - lastChange) / 1000);
    return QString();
}

int EnvInt(const char *name, int fallback)
{
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : fallback;
}

} // namespace

class TestSyncSim : public QObject
{
    Q_OBJECT

private slots:
    // In slices, so a large run stays inside the test framework's watchdog.
    void promisesHoldInRandomWorlds_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        const int runs = EnvInt("CATRACA_SIM_RUNS", 5000), slice = 2500;
        for (int first = 0; first < runs; first += slice)
            QTest::addRow("schedules %d-%d", first, std::min(runs, first + slice) - 1)
                << first << std::min(slice, runs - first);
    }
    void promisesHoldInRandomWorlds()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        const int tabs = EnvInt("CATRACA_SIM_TABS", 12);
        if (const QByteArray replay = qgetenv("CATRACA_SIM_SEED"); !replay.isEmpty()) {
            if (first > 0)
                QSKIP("replaying one schedule");
            const QString failure = Run(replay.toUInt(), tabs, true);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            return;
        }
        QElapsedTimer elapsed;
        elapsed.start();
        QStringList failures;
        for (int i = first; i < first + count; ++i) {
            const quint32 seed = quint32(i) * 2654435761u + 1;
            const QString failure = Run(seed, tabs, false);
            if (!failure.isEmpty())
                failures << QStringLiteral("seed %1 (replay with CATRACA_SIM_SEED=%1): %2").arg(seed).arg(failure);
        }
        qInfo("%d schedules in %lld ms", count, elapsed.elapsed());
        for (const QString &f : failures.mid(0, qEnvironmentVariableIsSet("CATRACA_SIM_ALL") ? failures.size() : 20))
            qWarning().noquote() << f;
        QVERIFY2(failures.isEmpty(), qPrintable(QStringLiteral("%1 of %2 schedules failed").arg(failures.size()).arg(count)));
    }
};

QTEST_GUILESS_MAIN(TestSyncSim)
#include "tst_sync_sim.moc"
