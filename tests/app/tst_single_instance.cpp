#include "app/single_instance.h"

#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondClaimAsksTheFirstToShowItself()
    {
        QTemporaryDir install;
        TSingleInstance first(install.path());
        QVERIFY(first.Claim());
        QSignalSpy shown(&first, &TSingleInstance::activationRequested);

        TSingleInstance second(install.path());
        QVERIFY(!second.Claim());
        QTRY_COMPARE(shown.count(), 1);

        // Another installation is another program.
        QTemporaryDir other;
        TSingleInstance third(other.path());
        QVERIFY(third.Claim());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
