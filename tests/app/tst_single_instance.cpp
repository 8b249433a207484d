#include "app/single_instance.h"

#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

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
#ifdef Q_OS_WIN
        // Under Wine the message of a client that disconnects at once never
        // reaches a server in the same thread; Windows itself is not known.
        if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
            QEXPECT_FAIL("", "the second start's message is lost under Wine", Continue);
#endif
        QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 3000);

        // Another installation is another program.
        QTemporaryDir other;
        TSingleInstance third(other.path());
        QVERIFY(third.Claim());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
