#include "engine/event_log.h"
#include "system/app_env.h"

#include <QtTest>

class TestEventLog : public QObject
{
    Q_OBJECT
private slots:
    void linesAreAppendedAndRotated()
    {
        QTemporaryDir dir;
        SetExecutableFolderForTesting(dir.path());
        SetEventLogLimitForTesting(400);
        for (int i = 0; i < 40; ++i)
            LogEvent(QStringLiteral("linha %1 com acentuação").arg(i));
        QFile current(EventLogPath());
        QVERIFY(current.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(current.readAll());
        QVERIFY(current.size() <= 400);
        QVERIFY(text.contains(QStringLiteral("linha 39 com acentuação")));
        QVERIFY(QFileInfo::exists(EventLogPath() + QStringLiteral(".1")));
        QVERIFY(QFileInfo(EventLogPath() + QStringLiteral(".1")).size() <= 400);
        QVERIFY(!QFileInfo::exists(EventLogPath() + QStringLiteral(".2")));
        // Both files as Notepad reads them: a byte-order mark first, and
        // on Windows CR LF line ends.
        for (const QString &path : {EventLogPath(), EventLogPath() + QStringLiteral(".1")}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(bytes.startsWith("\xEF\xBB\xBF" "2"), qPrintable(path));
            QCOMPARE(bytes.count("\xEF\xBB\xBF"), 1);
#ifdef _WIN32
            QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
#else
            QCOMPARE(bytes.count('\r'), 0);
#endif
        }
    }

    void unwritableFolderIsNoError()
    {
        QTemporaryDir dir;
        // The "folder" is a file: nothing can be created below it.
        QFile blocker(dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SetExecutableFolderForTesting(blocker.fileName());
        LogEvent(QStringLiteral("ninguém grava isto"));
        QVERIFY(!QFileInfo::exists(EventLogPath()));
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_event_log.moc"
