// Figures for the reconciliation cycle against the real private servers:
//   steady-state cycle time next to the bare ERP query over the same rows,
//   the cost of one changed tab next to a bare reconnect plus the two statements
//   in one transaction
//   (measured with the ERP result held in memory: the real query's jitter of
//   several milliseconds would drown a write of under one),
//   the program's resident memory per open tab.
// Needs the servers of scripts/servers.sh (source their env.sh first).
// Prints figures only; it never fails on a time.
#include "engine/reconciliation.h"
#include "erp/erp_reader.h"
#include "erp/fb_client.h"
#include "turnstile/mysql_connection.h"
#include "turnstile/turnstile_port.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

void runScript(const QString &command, const QString &sql)
{
    QProcess p;
    p.start(env("CATRACA_SERVERS_SCRIPT"), {command, sql});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(command), p.readAllStandardError().constData());
        std::exit(1);
    }
}

long residentKb()
{
#ifdef __GLIBC__
    // Memory freed by the last query's rows would otherwise still count.
    malloc_trim(0);
#endif
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct NullView : ICycleView {
    void ShowStatus(const QString &, quint32) override {}
    void ShowCounters(const QString &) override {}
};

// The open tabs 1..count, without tab 1 when it is settled.
struct MemoryTabs : IOpenTabsSource {
    struct Query : IOpenTabsQuery {
        int next, last;
        Query(int first, int count) : next(first), last(count) {}
        void First() override {}
        bool Eof() const override { return next > last; }
        void Next() override { ++next; }
        QVariant FieldValue(const QString &) const override { return QVariant(qint64(next)); }
        int RecordCount() const override { return last; }
        void Finish() override {}
    };
    int count = 0;
    bool firstSettled = false;
    std::unique_ptr<IOpenTabsQuery> OpenQuery(const QString &) override
    {
        return std::make_unique<Query>(firstSettled ? 2 : 1, count);
    }
};

// Lets the first cycle fill the tab list without writing every tab.
struct NullTurnstile : ITurnstileLink {
    bool Connected() const override { return true; }
    void Reconnect() override {}
    void ExecuteDirect(const QString &) override {}
    void ExecuteAtomically(const QStringList &) override {}
    void CheckAlive() override {}
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (env("CATRACA_FB_HOST").isEmpty() || env("CATRACA_MYSQL_HOST").isEmpty()) {
        std::fprintf(stderr, "Start the servers first: scripts/servers.sh start; source $CATRACA_SERVERS_DIR/env.sh\n");
        return 2;
    }
    const int repeats = 7;
    std::printf("%8s %12s %12s %7s %12s %12s %7s %14s\n", "tabs", "query ms", "cycle ms", "ratio", "bare write ms",
                "1 change ms", "ratio", "bytes per tab");

    for (int tabs : {1000, 10000, 50000}) {
        runScript(QStringLiteral("fb-sql"),
                  QStringLiteral("DELETE FROM COMANDAS; COMMIT;\nSET TERM ^ ;\nEXECUTE BLOCK AS DECLARE i INTEGER = 1; "
                                 "BEGIN WHILE (i <= %1) DO BEGIN INSERT INTO COMANDAS VALUES (:i, 10); i = i + 1; "
                                 "END END ^\nSET TERM ; ^")
                      .arg(tabs));
        runScript(QStringLiteral("mysql-sql"), QStringLiteral("delete from cad_comanda"));

        TErpReader erp;
        erp.Attach(TErpSettings{
            env("CATRACA_FB_HOST") + QLatin1Char('/') + env("CATRACA_FB_PORT") + QLatin1Char(':')
                + env("CATRACA_FB_DATABASE"),
            {QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=") + env("CATRACA_FB_PASSWORD"),
             QStringLiteral("lc_ctype=WIN1252")}});

        TMySqlConnection my;
        my.Params = {QStringLiteral("HostName=") + env("CATRACA_MYSQL_HOST"),
                     QStringLiteral("Port=") + env("CATRACA_MYSQL_PORT"),
                     QStringLiteral("Database=") + env("CATRACA_MYSQL_DATABASE"),
                     QStringLiteral("User_Name=") + env("CATRACA_MYSQL_USER"),
                     QStringLiteral("Password=") + env("CATRACA_MYSQL_PASSWORD")};
        my.Open();
        TMySqlTurnstilePort turnstile(my);
        NullView view;
        NullTurnstile nullTurnstile;

        // Bare query: open, walk every row reading the number, end the read.
        std::vector<double> query;
        for (int i = 0; i < repeats; ++i) {
            QElapsedTimer t;
            t.start();
            auto q = erp.OpenQuery(sql::ErpOpenTabs);
            q->First();
            qint64 sum = 0;
            while (!q->Eof()) {
                sum += q->FieldValue(QStringLiteral("COM_NUMERO")).toLongLong();
                q->Next();
            }
            q->Finish();
            query.push_back(t.nsecsElapsed() / 1e6);
        }

        TReconciliador r;
        r.TMSincroTimer(nullTurnstile, erp, view); // warm the allocator up
        r.Comandas.Clear();
        const long rssBefore = residentKb();
        r.TMSincroTimer(nullTurnstile, erp, view);
        const long rssAfter = residentKb();

        std::vector<double> cycle;
        for (int i = 0; i < repeats; ++i) {
            QElapsedTimer t;
            t.start();
            r.TMSincroTimer(turnstile, erp, view);
            cycle.push_back(t.nsecsElapsed() / 1e6);
        }

        std::vector<double> bare;
        for (int i = 0; i < repeats; ++i) {
            QElapsedTimer t;
            t.start();
            turnstile.Reconnect();
            turnstile.ExecuteAtomically({sql::Removal(tabs + 1), sql::OpenRow(tabs + 1)});
            bare.push_back(t.nsecsElapsed() / 1e6);
        }

        // One tab settles, then opens again: each changed cycle writes exactly
        // one tab; the steady cycle just before it is the baseline.
        MemoryTabs memory;
        memory.count = tabs;
        TReconciliador m;
        m.TMSincroTimer(nullTurnstile, memory, view);
        std::vector<double> oneChange;
        for (int i = 0; i < repeats; ++i) {
            QElapsedTimer t;
            t.start();
            m.TMSincroTimer(turnstile, memory, view);
            const double steady = t.nsecsElapsed() / 1e6;
            memory.firstSettled = !memory.firstSettled;
            t.restart();
            m.TMSincroTimer(turnstile, memory, view);
            oneChange.push_back(t.nsecsElapsed() / 1e6 - steady);
        }

        const double q = median(query), c = median(cycle), b = median(bare), o = median(oneChange);
        std::printf("%8d %12.2f %12.2f %7.2f %12.2f %12.2f %7.2f %14.1f\n", tabs, q, c, c / q, b, o, o / b,
                    double(rssAfter - rssBefore) * 1024.0 / tabs);
        std::fflush(stdout);
    }
    return 0;
}
