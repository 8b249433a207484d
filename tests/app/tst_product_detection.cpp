#include "app/product_detection.h"

#include <QtTest>

class TestProductDetection : public QObject
{
    Q_OBJECT

    static void touch(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void noFileNoProduct()
    {
        QTemporaryDir dir;
        const TProdutoDetectado p = DetectProduct(dir.path() + QLatin1Char('/'));
        QVERIFY(p.Path.isEmpty());
        QVERIFY(p.Name.isEmpty());
    }

    void lastMatchingRowWins()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        touch(folder + QStringLiteral("norvacomercio.ini"));
        QCOMPARE(DetectProduct(folder).Name, QStringLiteral("NORVA COMERCIO"));
        touch(folder + QStringLiteral("norvapizzaria.ini"));
        const TProdutoDetectado p = DetectProduct(folder);
        QCOMPARE(p.Path, folder + QStringLiteral("norvapizzaria.ini"));
        QCOMPARE(p.Name, QStringLiteral("NORVA PIZZARIA"));
        touch(folder + QStringLiteral("conexao.ini"));
        QCOMPARE(DetectProduct(folder).Name, QStringLiteral("NORVA GESTAO COMERCIAL"));
    }

    void aFolderOfThatNameIsNoProduct()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        QVERIFY(QDir(folder).mkdir(QStringLiteral("norvasalao.ini")));
        QVERIFY(DetectProduct(folder).Path.isEmpty());
    }

    void startupWait()
    {
        qunsetenv("CATRACA_STARTUP_WAIT_MS");
        QCOMPARE(StartupWaitMs(), 40000);
        qputenv("CATRACA_STARTUP_WAIT_MS", "0");
        QCOMPARE(StartupWaitMs(), 0);
        qputenv("CATRACA_STARTUP_WAIT_MS", "1500");
        QCOMPARE(StartupWaitMs(), 1500);
        qputenv("CATRACA_STARTUP_WAIT_MS", "abc");
        QCOMPARE(StartupWaitMs(), 40000);
        qputenv("CATRACA_STARTUP_WAIT_MS", "-3");
        QCOMPARE(StartupWaitMs(), 40000);
    }
};

QTEST_GUILESS_MAIN(TestProductDetection)
#include "tst_product_detection.moc"
