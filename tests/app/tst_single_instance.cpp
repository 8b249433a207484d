#include "app/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QThread>
#include <QtTest>

#include <atomic>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondClaimAsksTheFirstToShowItself()
    {
        // The first runs its own event loop, as the first program does: the
        // second waits for its answer.
        QTemporaryDir install;
        QThread firstThread;
        firstThread.start();
        auto *first = new TSingleInstance(install.path());
        first->moveToThread(&firstThread);
        const auto end = qScopeGuard([&] {
            QMetaObject::invokeMethod(first, [first] { delete first; }, Qt::BlockingQueuedConnection);
            firstThread.quit();
            firstThread.wait();
        });
        std::atomic<int> shown = 0;
        connect(first, &TSingleInstance::activationRequested, first, [&shown] { ++shown; },
                Qt::DirectConnection);
        bool claimed = false;
        QMetaObject::invokeMethod(first, [&] { claimed = first->Claim(); }, Qt::BlockingQueuedConnection);
        QVERIFY(claimed);

        QElapsedTimer clock;
        clock.start();
        TSingleInstance second(install.path());
        QVERIFY(!second.Claim());
        // Once the second start has ended the first has the request.
        QCOMPARE(shown.load(), 1);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));

        TSingleInstance third(install.path());
        QVERIFY(!third.Claim());
        QCOMPARE(shown.load(), 2);

#ifdef Q_OS_WIN
        // The same folder spelt in other capitals is the same installation.
        TSingleInstance shouted(install.path().toUpper());
        QVERIFY(!shouted.Claim());
        QCOMPARE(shown.load(), 3);
#endif
        // Another installation is another program.
        QTemporaryDir other;
        TSingleInstance fourth(other.path());
        QVERIFY(fourth.Claim());
    }

    void anUnwritableFolderStillAllowsOneProgramOnly()
    {
        // The lock lives outside the installation folder: a folder the user
        // may not write changes nothing, and the refusal says why.
        QTemporaryDir install;
        QFile::setPermissions(install.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        TSingleInstance first(install.path());
        QVERIFY(first.Claim());
        TSingleInstance second(install.path());
        QVERIFY(!second.Claim());
        QVERIFY(!second.LockFailed());
        QVERIFY2(second.RefusalReason().contains(QStringLiteral("outra execução deste programa")),
                 qPrintable(second.RefusalReason()));
        QFile::setPermissions(install.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void aFirstThatNeverAnswersDoesNotHoldTheSecond()
    {
        // A first program stuck in a long call keeps its lock and its pipe
        // but reads nothing: the second start still ends on its own.
        QTemporaryDir install;
        TSingleInstance first(install.path());
        QVERIFY(first.Claim());
        QElapsedTimer clock;
        clock.start();
        TSingleInstance second(install.path());
        QVERIFY(!second.Claim());
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    void aStrangerOnThePipeIsDropped()
    {
        QTemporaryDir install;
        TSingleInstance first(install.path());
        QVERIFY(first.Claim());
        QSignalSpy shown(&first, &TSingleInstance::activationRequested);
        // Any local user can reach the pipe: a line that is not the request,
        // or no end of line at all, brings nothing forward.
        QLocalSocket stranger;
        stranger.connectToServer(TSingleInstance::NameFor(install.path()));
        QVERIFY(stranger.waitForConnected(1000));
        stranger.write("HELLO\n");
        stranger.write(QByteArray(200, 'x'));
        stranger.flush();
        QTRY_COMPARE_WITH_TIMEOUT(stranger.state(), QLocalSocket::UnconnectedState, 3000);
        QCOMPARE(shown.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
