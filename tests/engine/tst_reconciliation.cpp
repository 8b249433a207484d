// The reconciliation cycle against fakes of the turnstile, the ERP and the window.
#include "base/kr_error.h"
#include "engine/reconciliation.h"

#include <QtTest>
#include <functional>

namespace {

struct FakeTurnstile : ITurnstileLink {
    bool connected = true;
    int reconnects = 0;
    int pings = 0;
    QStringList statements; // committed ones
    // The statement with this 1-based number (counting committed and tried
    // ones) fails; 0: never. lose: the connection goes with it.
    int failOnStatement = 0;
    bool lose = true;
    int tried = 0;
    // Reconnections refused from now on (-1: none), or only this many.
    int refuseReconnects = 0;
    bool refuseForGood = false;
    bool failAlive = false;

    bool Connected() const override { return connected; }
    void Reconnect() override
    {
        ++reconnects;
        connected = false;
        if (refuseForGood || refuseReconnects > 0) {
            --refuseReconnects;
            throw KrError(QStringLiteral("Can't connect to server on '127.0.0.1' (115)"));
        }
        connected = true;
    }
    void ExecuteDirect(const QString &s) override { statements << s; }
    void ExecuteAtomically(const QStringList &list) override
    {
        for (int i = 0; i < list.size(); ++i) {
            if (failOnStatement && ++tried == failOnStatement) {
                failOnStatement = 0;
                if (lose) {
                    connected = false;
                    throw KrError(QStringLiteral("Lost connection to server during query"));
                }
                throw KrError(QStringLiteral("Out of range value for column 'num_comanda'"));
            }
        }
        statements << list;
    }
    void CheckAlive() override
    {
        ++pings;
        if (failAlive) {
            connected = false;
            throw KrError(QStringLiteral("Server has gone away"));
        }
    }
};

struct FakeQuery : IOpenTabsQuery {
    QVariantList rows;
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
    QVariant FieldValue(const QString &name) const override
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
    QVariantList rows;
    QStringList sqls;
    bool failOpen = false;
    int failAtRow = -1;
    int finishes = 0;
    void SetRows(std::initializer_list<qint64> numbers)
    {
        rows.clear();
        for (qint64 n : numbers)
            rows << QVariant(n);
    }
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
    void ShowStatus(const QString &c, quint32 colour) override
    {
        statuses << c;
        colours << colour;
    }
    void ShowCounters(const QString &c) override { counters = c; }
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
        erp.SetRows({12, 7, 30});
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
        erp.SetRows({1, 2, 3});
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        t.reconnects = 0;

        for (int i = 0; i < 5; ++i)
            r.TMSincroTimer(t, erp, v);
        QVERIFY(t.statements.isEmpty());
        QCOMPARE(t.reconnects, 0);
        QCOMPARE(r.Enviadas, 3);

        erp.SetRows({1, 3});
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements, closedWrite(2));
        QCOMPARE(r.Comandas.Count(), 2);
        QCOMPARE(r.Comandas.At(0).Numero, 1);
        QCOMPARE(r.Comandas.At(1).Numero, 3);
        QCOMPARE(r.Abertas, 2);

        // Lookups still find the entries that moved up.
        t.statements.clear();
        erp.SetRows({3, 1});
        r.TMSincroTimer(t, erp, v);
        QVERIFY(t.statements.isEmpty());

        // Reopened under the same number: written as open again, appended last.
        erp.SetRows({1, 3, 2});
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
        erp.SetRows({4, 5});
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.SetRows({});
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
        erp.SetRows({-5});
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
        erp.SetRows({1});
        QCOMPARE(r.TMSincroTimer(t, erp, v).kind, CycleOutcome::Skipped);
        QVERIFY(erp.sqls.isEmpty());
        QVERIFY(v.statuses.isEmpty());
        QCOMPARE(v.counters, QStringLiteral("aguardando..."));
    }

    void queryFailureLeavesStateAlone()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({1});
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
        // The ERP's side, named.
        QCOMPARE(v.statuses.last(), StatusErpFailed());
        QCOMPARE(v.colours.last(), StatusColorFailed);
    }

    void failedOpenWriteIsRetriedWhileTheTabStaysOpen()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({1, 2, 3});
        // Writing order is 3, 2, 1: fail the insert of tab 2.
        t.failOnStatement = 4;
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.kind, CycleOutcome::Failed);
        QCOMPARE(o.error, QStringLiteral("Lost connection to server during query"));
        QCOMPARE(v.statuses.last(), StatusFailed());
        QCOMPARE(v.colours.last(), StatusColorFailed);
        QCOMPARE(v.counters, CountersCaption(2, 3)); // refreshed; the failed write counts
        QVERIFY(!r.Sincronizando);
        QVERIFY(o.turnstileClosed);
        QCOMPARE(o.side, CycleOutcome::Turnstile);
        QCOMPARE(o.writes, QStringList{QStringLiteral("comanda 3 gravada como aberta")});
        QCOMPARE(erp.finishes, 1);

        t.connected = true; // reconnected by the engine
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
        erp.SetRows({9});
        t.failOnStatement = 2;
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(r.Enviadas, 1);
        t.connected = true;
        t.statements.clear();
        erp.SetRows({});
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
        erp.SetRows({1, 2});
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.SetRows({});
        t.failOnStatement = 1; // removal of tab 2
        QCOMPARE(r.TMSincroTimer(t, erp, v).kind, CycleOutcome::Failed);
        QCOMPARE(r.Comandas.Count(), 2);
        t.connected = true;
        t.statements.clear();
        r.TMSincroTimer(t, erp, v);
        // The lost write's outcome is unknown: tab 2 is written again from
        // the start, as open and then closed.
        QCOMPARE(t.statements, openWrite(2) + closedWrite(2) + closedWrite(1));
        QCOMPARE(r.Comandas.Count(), 0);
    }

    void failureAfterSomeRemovalsKeepsTheRestInOrder()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({1, 2, 3, 4});
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.SetRows({});
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
        erp.SetRows({1});
        t.refuseForGood = true;
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.kind, CycleOutcome::Failed);
        QVERIFY(o.turnstileClosed);
        QCOMPARE(t.reconnects, 2); // one more try before giving up
        QVERIFY(o.writes.isEmpty());
        QCOMPARE(r.TMSincroTimer(t, erp, v).kind, CycleOutcome::Skipped);
    }

    void erpReadFailureKeepsAbertas()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({1, 2});
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.SetRows({1, 2, 3});
        erp.failAtRow = 1;
        QCOMPARE(r.TMSincroTimer(t, erp, v).kind, CycleOutcome::Failed);
        QCOMPARE(r.Abertas, 2);
        QVERIFY(t.statements.isEmpty()); // nothing is closed on a partial read
        QCOMPARE(erp.finishes, 2);
    }

    void oneRefusedConnectionIsTriedAgainAtOnce()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({1, 2});
        t.refuseReconnects = 1;
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QVERIFY(o.Synchronised());
        QCOMPARE(t.reconnects, 3);
        QCOMPARE(t.statements, openWrite(2) + openWrite(1));
    }

    void rejectedWriteDoesNotStopThePass()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({1, 2, 3});
        t.lose = false;
        t.failOnStatement = 3; // the removal of tab 2; order is 3, 2, 1
        CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.kind, CycleOutcome::Done);
        QVERIFY(!o.Synchronised());
        QVERIFY(!o.turnstileClosed);
        QCOMPARE(o.rejected.size(), 1);
        QCOMPARE(o.rejected.first().numero, 2);
        QCOMPARE(o.rejected.first().flag, 0);
        QCOMPARE(o.rejected.first().error, QStringLiteral("Out of range value for column 'num_comanda'"));
        QCOMPARE(t.statements, openWrite(3) + openWrite(1));
        // The log only ever names writes that were done.
        QCOMPARE(o.writes, QStringList({QStringLiteral("comanda 3 gravada como aberta"),
                                        QStringLiteral("comanda 1 gravada como aberta")}));
        QCOMPARE(v.statuses.last(), StatusFailed());
        QCOMPARE(r.Enviadas, 3);

        t.statements.clear();
        o = r.TMSincroTimer(t, erp, v);
        QVERIFY(o.Synchronised());
        QCOMPARE(t.statements, openWrite(2));
        QCOMPARE(v.colours.last(), StatusColorDone);
    }

    void rejectedClosedWriteKeepsTheEntryForTheNextCycle()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({1, 2});
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        erp.SetRows({});
        t.lose = false;
        t.failOnStatement = 2; // the closed row of tab 2
        CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.rejected.size(), 1);
        QCOMPARE(o.rejected.first().flag, 1);
        QCOMPARE(t.statements, closedWrite(1));
        QCOMPARE(r.Comandas.Count(), 1);
        t.statements.clear();
        o = r.TMSincroTimer(t, erp, v);
        QVERIFY(o.Synchronised());
        QCOMPARE(t.statements, closedWrite(2));
        QCOMPARE(r.Comandas.Count(), 0);
    }

    void rowsTheTurnstileCannotHoldAreSkippedOneByOne()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.rows = {QVariant(), QVariant(qint64(7)), QVariant(qint64(4294967296LL)), QVariant(qint64(-2147483648LL)),
                    QVariant(qint64(2147483647)), QVariant(qint64(2147483648LL)), QVariant(qint64(-2147483649LL))};
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QVERIFY(o.Synchronised());
        QCOMPARE(o.skippedRows, QStringList({QStringLiteral("NULL"), QStringLiteral("4294967296"),
                                             QStringLiteral("2147483648"), QStringLiteral("-2147483649")}));
        QCOMPARE(t.statements, openWrite(2147483647) + openWrite(-2147483647 - 1) + openWrite(7));
        QCOMPARE(r.Abertas, 3); // what was synchronised
        QVERIFY(v.counters.endsWith(QStringLiteral("\r3 comandas abertas")));
        QCOMPARE(r.Comandas.IndexOf(0), -1);
    }

    void tabNumbersFromOtherColumnTypes()
    {
        QCOMPARE(TabNumberOf(QVariant(12.0)), std::optional<qint32>(12));
        QCOMPARE(TabNumberOf(QVariant(12.5)), std::nullopt);
        QCOMPARE(TabNumberOf(QVariant(3e10)), std::nullopt);
        QCOMPARE(TabNumberOf(QVariant(QStringLiteral(" 42 "))), std::optional<qint32>(42));
        QCOMPARE(TabNumberOf(QVariant(QStringLiteral("(BLOB)"))), std::nullopt);
        QCOMPARE(TabNumberOf(QVariant()), std::nullopt);
    }

    void nothingToWriteStillAsksTheTurnstile()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({1});
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.pings, 0); // a cycle that wrote has its answer already
        QVERIFY(r.TMSincroTimer(t, erp, v).Synchronised());
        QCOMPARE(t.pings, 1);
        t.failAlive = true;
        const CycleOutcome o = r.TMSincroTimer(t, erp, v);
        QCOMPARE(o.kind, CycleOutcome::Failed);
        QCOMPARE(o.side, CycleOutcome::Turnstile);
        QVERIFY(o.turnstileClosed);
        QCOMPARE(v.statuses.last(), StatusFailed());
    }

    void connectionResetRewritesEveryOpenTab()
    {
        TReconciliador r;
        FakeTurnstile t;
        FakeErp erp;
        FakeView v;
        erp.SetRows({5, 6});
        r.TMSincroTimer(t, erp, v);
        t.statements.clear();
        r.ConnectionReset();
        r.TMSincroTimer(t, erp, v);
        QCOMPARE(t.statements, openWrite(6) + openWrite(5));
    }
};

QTEST_GUILESS_MAIN(TestReconciliation)
#include "tst_reconciliation.moc"
