// Whole-file reads with a ceiling: what the settings store and the reseller
// files read before they look at the content.
#include "base/bounded_read.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TstBoundedRead : public QObject
{
    Q_OBJECT
private slots:
    void smallFileWhole()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath("a.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[S]\r\nK=1\r\n");
        f.close();
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(ReadAtMost(f, 1000), QByteArray("[S]\r\nK=1\r\n"));
        QVERIFY(f.seek(0));
        QCOMPARE(ReadAtMost(f, 4), QByteArray("[S]\r"));
    }

    void largerThanTheFirstChunks()
    {
        QByteArray big(3 * 1024 * 1024 + 17, 'x');
        QBuffer buffer(&big);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(ReadAtMost(buffer, 10 * 1024 * 1024).size(), big.size());
        QVERIFY(buffer.seek(0));
        QCOMPARE(ReadAtMost(buffer, 1024 * 1024 + 1).size(), 1024 * 1024 + 1);
    }

    // A device has no size and never ends: the ceiling ends the read.
    void endlessDeviceStopsAtTheLimit()
    {
        QFile zero(QStringLiteral("/dev/zero"));
        if (!zero.open(QIODevice::ReadOnly))
            QSKIP("no /dev/zero here");
        QVERIFY(zero.isSequential());
        QCOMPARE(ReadAtMost(zero, 5 * 1024 * 1024 + 1), QByteArray(5 * 1024 * 1024 + 1, '\0'));
    }
};

QTEST_GUILESS_MAIN(TstBoundedRead)
#include "tst_bounded_read.moc"
