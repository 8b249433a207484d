#include "base/kr_inifile.h"
#include "base/kr_trace.h"
#include "erp/kr_revenda.h"
#include "system/app_env.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TstTrace : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TraceEnabled = false;
        TraceSuspended = false;
        TraceLog.clear();
        ResetTraceState();
    }
    void cleanup() { init(); }

    void offAndSuspendedRecordNothing()
    {
        for (int n = 0; n < 100; ++n)
            TracePoint("TFrmDialog.FormShow", "KRDIALOGFORM135");
        QVERIFY(LastTraceName.isEmpty());
        QVERIFY(LastTraceCode.isEmpty());
        QVERIFY(TraceLog.isEmpty());

        TraceEnabled = true;
        TraceSuspended = true;
        TracePoint("TFrmDialog.FormShow", "KRDIALOGFORM135");
        QVERIFY(LastTraceName.isEmpty());
        QVERIFY(TraceLog.isEmpty());
        TraceSuspended = false;
        TracePoint("TFrmDialog.AlinhaOK", "KRDIALOGFORM51");
        QCOMPARE(LastTraceName, QStringLiteral("TFrmDialog.AlinhaOK"));
        QCOMPARE(LastTraceCode, QStringLiteral("KRDIALOGFORM51"));
        QCOMPARE(TraceLog.size(), 1);
    }

    void lineFormat()
    {
        TraceEnabled = true;
        TracePoint("ExecAndWait ", "WINDOWS702");
        const QRegularExpression line(
            QStringLiteral("^EXECUÇÃO: (\\d\\d):(\\d\\d):(\\d\\d) / FUNÇÃO: ExecAndWait  / CODIGO: WINDOWS702$"));
        const auto m = line.match(TraceLog.value(0));
        QVERIFY2(m.hasMatch(), qPrintable(TraceLog.value(0)));
        QVERIFY(m.captured(1).toInt() < 24 && m.captured(2).toInt() < 60 && m.captured(3).toInt() < 60);
    }

    void logKeepsTheLatestEighty()
    {
        TraceEnabled = true;
        for (int n = 1; n <= 81; ++n)
            TracePoint(qPrintable(QStringLiteral("Passo%1").arg(n)), qPrintable(QStringLiteral("T%1").arg(n)));
        QCOMPARE(TraceLog.size(), 80);
        QVERIFY(TraceLog.first().endsWith(QStringLiteral("FUNÇÃO: Passo2 / CODIGO: T2")));
        QVERIFY(TraceLog.last().endsWith(QStringLiteral("FUNÇÃO: Passo81 / CODIGO: T81")));
        QCOMPARE(LastTraceName, QStringLiteral("Passo81"));
        ResetTraceState();
        QVERIFY(LastTraceName.isEmpty() && LastTraceCode.isEmpty());
        QCOMPARE(TraceLog.size(), 80);
    }

    void settingsUnitRecordsItsPoints()
    {
        QTemporaryDir dir;
        SetExecutableFolderForTesting(dir.path());
        TraceEnabled = true;
        SaveConfigFile(dir.filePath("x.ini"), "S", "K", QStringLiteral("v"));
        QCOMPARE(LastTraceName + '/' + LastTraceCode, QStringLiteral("SaveConfigFile/INIFILE90"));
        LoadConfigFile(dir.filePath("x.ini"), "S", "K", QString());
        QCOMPARE(LastTraceName + '/' + LastTraceCode, QStringLiteral("LoadConfigFile/INIFILE118"));
        RevendaFile();
        QCOMPARE(LastTraceName + '/' + LastTraceCode, QStringLiteral("RevendaFile : String/INIFILE486"));
        TraceLog.clear();
        RevendaCaptionPanel("Norva");
        QCOMPARE(TraceLog.size(), 3);
        QVERIFY(TraceLog[0].endsWith(QStringLiteral("FUNÇÃO: RevendaCaptionPanel / CODIGO: INIFILE385")));
        QVERIFY(TraceLog[1].endsWith(QStringLiteral("FUNÇÃO: RevendaFile : String / CODIGO: INIFILE486")));
        QVERIFY(TraceLog[2].endsWith(QStringLiteral("FUNÇÃO: LoadConfigFile / CODIGO: INIFILE118")));
        SetExecutableFolderForTesting(QString());
    }
};

QTEST_GUILESS_MAIN(TstTrace)
#include "tst_trace.moc"
