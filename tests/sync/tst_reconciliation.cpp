// The reconciliation cycle against fakes of the turnstile, the ERP and the window.
#include "sync/reconciliation.h"
#include "uikit/kr_error.h"

#include <QtTest>
#include <functional>

namespace {

struct FakeTurnstile : ITurnstileLink {
    bool connected = true;
    int reconnects = 0;
    QStringList statements;
    // Throws on the statement with this 1-based number (0: never).
    int failOnStatement = 0;
    bool failReconnect = false;

    bool Connected() const override { return connected; }
    void Reconnect() override
    {
        ++reconnects;
        connected = false;
        if (failReconnect)
            throw KrError(QStringLiteral("Can't connect to server on '127.0.0.1' (115)"));
        connected = true;
    }
    void ExecuteDirect(const QString &s) override
    {
        if (failOnStatement && statements.size() + 1 == failOnStatement) {
            failOnStatement = 0;
            throw KrError(QStringLiteral("Lost connection to server during query"));
        }
        statements << s;
    }
};

struct FakeQuery : IOpenTabsQuery {
    QList<qint32> rows;
    int pos = 0;
    int fetched = 0;
    int failAtRow = -1;
    int *finishes = nullptr;
    void First() override { pos = 0; fetched = rows.isEmpty() ? 0 : 1; }
    bool Eof() const override { return pos >= rows.size(); }
    void Next() override
    {
        ++pos;
        if (pos < rows.size())
            ++fetched;
    }
    qint32 FieldAsInteger(const QString &name) const override
    {
        if (name != QStringLiteral("COM_NUMERO"))
            throw KrError(QStringLiteral("Field %1 not found").arg(name));
        if (pos == failAtRow)
            throw KrError(QStringLiteral("Error reading data from the connection."));
        return rows.at(pos);
    }
    int RecordCount() const override { return fetched; }
    void Finish() override { ++*finishes; }
};

struct FakeErp : IOpenTabsSource {
    QList<qint32> rows;
    QStringList sqls;
    bool failOpen = false;
    int failAtRow = -1;
    int finishes = 0;
    std::unique_ptr<IOpenTabsQuery> OpenQuery(const QString &sql) override
    {
        sqls << sql;
        if (failOpen)
            throw KrError(QStringLiteral("connection shutdown"));
        auto q = std::make_unique<FakeQuery>();
        q->rows = rows;
        q->failAtRow = failAtRow;
        q->finishes = &finishes;
        return q;
    }
};

struct FakeView : ICycleView {
    QStringList statuses;
    QList<quint32> colours;
    QString counters = QStringLiteral("aguardando...");
    std::function<void()> duringCycle;
    void ShowStatus(const QString &c, quint32 colour) override
    {
        statuses << c;
        colours << colour;
    }
    void ShowCounters(const QString &c) override { counters = c; }
    void LetEventsRun() override
    {
        if (duringCycle)
            duringCycle();
    }
};

QStringList openWrite(qint32 n)
{
    return {sql::Removal(n), sql::OpenRow(n)};
}
QStringList closedWrite(qint32 n)
{
    return {sql::Removal(n), sql::ClosedRow(n)};
}

} // namespace

class TestReconciliation : public QObject
{
    Q_OBJECT

private slots:
    void statementTexts()
    {
        QCOMPARE(sql::Removal(12), QStringLiteral("delete from cad_comanda where num_comanda = 12"));
        QCOMPARE(sql::OpenRow(12), QStringLiteral("insert into cad_comanda (num_comanda, fl_comanda) values (12, 0)"));
        QCOMPARE(sql::ClosedRow(12), QStringLiteral("insert into cad_comanda (num_comanda, fl_comanda) values (12, 1)"));
        QCOMPARE(sql::Removal(-5), QStringLiteral("delete from cad_comanda where num_comanda = -5"));
        QCOMPARE(CountersCaption(3, 5), QStringLiteral("3 enviadas nesta sessão\r5 comandas abertas"));
    }

    void firstCycleWritesNewTabsNewestFirst()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {12, 7, 30};
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.kind, CycleOutcome::Done);
        QCOMPARE(erp.sqls, QStringList{QStringLiteral("SELECT COM_NUMERO FROM COMANDAS WHERE COM_TOTAL > 0")});
        QCOMPARE(t.statements, openWrite(30) + openWrite(7) + openWrite(12));
        QCOMPARE(t.reconnects, 3);
        QCOMPARE(r.Enviadas, 3);
        QCOMPARE(r.Abertas, 3);
        QCOMPARE(r.Comandas.Count(), 3);
        QCOMPARE(v.statuses.first(), QStringLiteral("SINCRONIZANDO"));
        QCOMPARE(v.colours.first(), 168u);
        QVERIFY(v.statuses.last().startsWith(QStringLiteral("SINCRONIZADO - ")));
        QVERIFY(v.statuses.last().endsWith(QStringLiteral(" ms")));
        QCOMPARE(v.colours.last(), 42579u);
        QCOMPARE(v.counters, QStringLiteral("3 enviadas nesta sessão\r3 comandas abertas"));
        QVERIFY(!r.Sincronizando);
        QCOMPARE(erp.finishes, 1);
    }

    void unchangedTabsCostNothingAndClosedOnesAreWrittenOnce()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {1, 2, 3};
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        t.reconnects = 0;

        for (int i = 0; i < 5; ++i)
            r.TMSincroTimer(t, erp, v);
        QVERIFY(t.statements.isEmpty());
        QCOMPARE(t.reconnects, 0);
        QCOMPARE(r.Enviadas, 3);

        erp.rows = {1, 3};
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements, closedWrite(2));
        QCOMPARE(r.Comandas.Count(), 2);
        QCOMPARE(r.Comandas.At(0).Numero, 1);
        QCOMPARE(r.Comandas.At(1).Numero, 3);
        QCOMPARE(r.Abertas, 2);

        // Lookups still find the entries that moved up.
        t.statements.clear();
        erp.rows = {3, 1};
        r.TMSincroTimer(t, erp, v);
        QVERIFY(t.statements.isEmpty());

        // Reopened under the same number: written as open again, appended last.
        erp.rows = {1, 3, 2};
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements, openWrite(2));
        QCOMPARE(r.Comandas.At(2).Numero, 2);
    }

    void emptyResultClosesEverything()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {4, 5};
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.rows = {};
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements, closedWrite(5) + closedWrite(4));
        QCOMPARE(r.Comandas.Count(), 0);
        QCOMPARE(r.Abertas, 0);
        QVERIFY(v.counters.endsWith(QStringLiteral("\r0 comandas abertas")));
    }

    void negativeNumbers()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {-5};
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements.first(), QStringLiteral("delete from cad_comanda where num_comanda = -5"));
        QCOMPARE(t.statements.last(), QStringLiteral("insert into cad_comanda (num_comanda, fl_comanda) values (-5, 0)"));
    }

    void disconnectedTickChangesNothing()
    {
        TReconciliador r;
        FakeTurnstile t;
        t.connected = false;
        FakeErp erp;
        FakeView v;
        erp.rows = {1};
        QCOMPARE(r.TMSincroTimer(t, erp, v).kind, CycleOutcome::Skipped);
        QVERIFY(erp.sqls.isEmpty());
        QVERIFY(v.statuses.isEmpty());
        QCOMPARE(v.counters, QStringLiteral("aguardando..."));
    }

    void tickDuringCycleDoesNothing()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {8};
        CycleOutcome inner;
        v.duringCycle = [&] { inner = r.TMSincroTimer(t, erp, v); };
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(inner.kind, CycleOutcome::Skipped);
        QCOMPARE(erp.sqls.size(), 1);
        QCOMPARE(t.statements, openWrite(8));
    }

    void queryFailureLeavesStateAlone()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {1};
        r.TMSincroTimer(t, erp, v);
        const QString counters = v.counters;
        v.counters.clear();
        erp.failOpen = true;
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.kind, CycleOutcome::QueryFailed);
        QCOMPARE(o.error, QStringLiteral("connection shutdown"));
        QVERIFY(!r.Sincronizando);
        QCOMPARE(v.counters, counters); // refreshed, with the same values
        QCOMPARE(r.Comandas.Count(), 1);
        QCOMPARE(v.statuses.last(), StatusFailed());
        QCOMPARE(v.colours.last(), StatusColorFailed);
    }

    void failedOpenWriteIsRetriedWhileTheTabStaysOpen()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {1, 2, 3};
        // Writing order is 3, 2, 1: fail the insert of tab 2.
        t.failOnStatement = 4;
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.kind, CycleOutcome::Failed);
        QCOMPARE(o.error, QStringLiteral("Lost connection to server during query"));
        QCOMPARE(v.statuses.last(), StatusFailed());
        QCOMPARE(v.colours.last(), StatusColorFailed);
        QCOMPARE(v.counters, CountersCaption(2, 3)); // refreshed; the failed write counts
        QVERIFY(!r.Sincronizando);
        QCOMPARE(erp.finishes, 1);

        t.statements.clear();
        r.TMSincroTimer(t, erp, v);
        // Tab 3 was written; 2 and 1 were not and are written now.
        QCOMPARE(t.statements, openWrite(2) + openWrite(1));
        t.statements.clear();
        r.TMSincroTimer(t, erp, v);
        QVERIFY(t.statements.isEmpty());
    }

    void failedOpenWriteThenClosedWritesBoth()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {9};
        t.failOnStatement = 2;
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(r.Enviadas, 1);
        t.statements.clear();
        erp.rows = {};
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements, openWrite(9) + closedWrite(9));
        QCOMPARE(r.Enviadas, 3);
        QCOMPARE(r.Comandas.Count(), 0);
    }

    void failedClosedWriteIsRepeated()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {1, 2};
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.rows = {};
        t.failOnStatement = 1; // removal of tab 2
        QCOMPARE(r.TMSincroTimer(t, erp, v).kind, CycleOutcome::Failed);
        QCOMPARE(r.Comandas.Count(), 2);
        t.statements.clear();
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements, closedWrite(2) + closedWrite(1));
        QCOMPARE(r.Comandas.Count(), 0);
    }

    void failureAfterSomeRemovalsKeepsTheRestInOrder()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {1, 2, 3, 4};
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.rows = {};
        t.failOnStatement = 5; // removal of tab 2, after 4 and 3 were closed
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(r.Comandas.Count(), 2);
        QCOMPARE(r.Comandas.At(0).Numero, 1);
        QCOMPARE(r.Comandas.At(1).Numero, 2);
        QCOMPARE(r.Comandas.IndexOf(2), 1);
        QCOMPARE(r.Comandas.IndexOf(4), -1);
    }

    void lostTurnstileIsReported()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {1};
        t.failReconnect = true;
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.kind, CycleOutcome::Failed);
        QVERIFY(o.turnstileClosed);
        QCOMPARE(r.TMSincroTimer(t, erp, v).kind, CycleOutcome::Skipped);
    }

    void erpReadFailureKeepsAbertas()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {1, 2};
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.rows = {1, 2, 3};
        erp.failAtRow = 1;
        QCOMPARE(r.TMSincroTimer(t, erp, v).kind, CycleOutcome::Failed);
        QCOMPARE(r.Abertas, 2);
        QVERIFY(t.statements.isEmpty()); // nothing is closed on a partial read
        QCOMPARE(erp.finishes, 2);
    }

    void connectionResetRewritesEveryOpenTab()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {5, 6};
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        r.ConnectionReset();
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements, openWrite(6) + openWrite(5));
    }
};

QTEST_GUILESS_MAIN(TestReconciliation)
#include "tst_reconciliation.moc"
