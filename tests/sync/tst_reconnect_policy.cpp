#include "sync/reconnect_policy.h"

#include <QtTest>

class TestReconnectPolicy : public QObject
{
    Q_OBJECT
private slots:
    void backsOffToThirtySeconds()
    {
        TReconnectPolicy p;
        QList<int> delays;
        for (int i = 0; i < 8; ++i)
            delays << p.NextDelayMs();
        QCOMPARE(delays, (QList<int>{3000, 6000, 12000, 24000, 30000, 30000, 30000, 30000}));
        p.Reset();
        QCOMPARE(p.NextDelayMs(), 3000);
    }
};

QTEST_GUILESS_MAIN(TestReconnectPolicy)
#include "tst_reconnect_policy.moc"
