// Launching other programs through the Qt-facing calls, with real children.
#include "base/kr_trace.h"
#include "system/kr_windows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestLaunch : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A script that writes how many arguments it got, and the first one,
    // to the file named by CATRACA_MARKER, after an optional pause.
    QString writeScript(const QString &relativePath, const QString &pause = QStringLiteral("0"))
    {
        const QString path = m_dir.path() + QLatin1Char('/') + relativePath;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(QStringLiteral("#!/bin/sh\nsleep %1\necho \"$# $1\" > \"$CATRACA_MARKER.tmp\"\n"
                               "mv \"$CATRACA_MARKER.tmp\" \"$CATRACA_MARKER\"\nexit 3\n").arg(pause).toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    QString marker() const { return m_dir.path() + QStringLiteral("/marker.txt"); }

    QString readMarker() const
    {
        QFile f(marker());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("CATRACA_MARKER", QFile::encodeName(marker()));
    }

    void init() { QFile::remove(marker()); }

    void returnsTheChildsExitCodeAndTraces()
    {
        TraceEnabled = true;
        QCOMPARE(ExecAndWait(QStringLiteral("sh -c \"exit 3\""), 1), 3);
        TraceEnabled = false;
        QCOMPARE(LastTraceName, QStringLiteral("ExecAndWait "));
        QCOMPARE(LastTraceCode, QStringLiteral("WINDOWS702"));
    }

    void aMissingProgramGivesMinusOne()
    {
        QCOMPARE(ExecAndWait(QStringLiteral("catraca-no-such-program"), 1), -1);
        QCOMPARE(ExecAndWait(m_dir.path() + QStringLiteral("/missing"), 1), -1);
        // Not a program: a plain file without the right to run.
        QFile plain(m_dir.path() + QStringLiteral("/plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QCOMPARE(ExecAndWait(plain.fileName(), 1), -1);
    }

    void aLineOverTheLimitIsNotStarted()
    {
        const QString script = writeScript(QStringLiteral("long.sh"));
        QString line = script + QLatin1Char(' ');
        line += QString(512 - line.size(), QLatin1Char('x'));
        QCOMPARE(line.size(), 512);
        QCOMPARE(ExecAndWait(line, 1), 3);
        QFile::remove(marker());
        QCOMPARE(ExecAndWait(line + QLatin1Char('x'), 1), -1);
        QVERIFY(!QFile::exists(marker()));
    }

    void waitingWithEmptyParametersStartsTheFileAlone()
    {
        const QString script = writeScript(QStringLiteral("Krelo Tools/run tool.sh"));
        // Unquoted path with blanks: still found, as Windows would.
        ExecProgram(script, QString(), 1, true);
        QCOMPARE(readMarker(), QStringLiteral("0"));
        ExecProgram(script, QStringLiteral("\"first arg\" second"), 1, true);
        QCOMPARE(readMarker(), QStringLiteral("2 first arg"));
    }

    void theShellDoesNotWait()
    {
        const QString script = writeScript(QStringLiteral("Krelo Tools/slow tool.sh"), QStringLiteral("1"));
        QElapsedTimer timer;
        timer.start();
        ExecProgram(script, QString(), 1, false);
        QVERIFY(timer.elapsed() < 900);
        QVERIFY(!QFile::exists(marker()));
        QTRY_COMPARE_WITH_TIMEOUT(readMarker(), QStringLiteral("0"), 10000);
    }

    void aDocumentWithoutAProgramDoesNotHang()
    {
        QFile doc(m_dir.path() + QStringLiteral("/notes.catraca-unknown"));
        QVERIFY(doc.open(QIODevice::WriteOnly));
        doc.close();
        QElapsedTimer timer;
        timer.start();
        ExecShell(doc.fileName(), QString(), 1);
        ExecShell(QString(), QString(), 1);
        QVERIFY(timer.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
