#include "engine/reconnect_policy.h"

#include <QtTest>

class TestReconnectPolicy : public QObject
{
    Q_OBJECT
private slots:
    void backsOffToFourSeconds()
    {
        TReconnectPolicy p;
        QList<int> delays;
        for (int i = 0; i < 8; ++i)
            delays << p.NextDelayMs();
        QCOMPARE(delays, (QList<int>{1000, 2000, 4000, 4000, 4000, 4000, 4000, 4000}));
        p.Reset();
        QCOMPARE(p.NextDelayMs(), 1000);
    }
};

QTEST_GUILESS_MAIN(TestReconnectPolicy)
#include "tst_reconnect_policy.moc"
