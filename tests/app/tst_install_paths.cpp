// Paths of the installation as the ERP's settings and the user see them: with
// the platform's own separators ("C:\Prog\Dados\DBEMPRESA.FDB" on Windows).
#include "erp/kr_database.h"
#include "system/app_env.h"

#include <QDir>
#include <QtTest>

class TestInstallPaths : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SetExecutableFolderForTesting(QString()); }

    void executableFolderAndPathUseNativeSeparators()
    {
        const QString folder = ExecutableFolder();
        QVERIFY(folder.endsWith(QDir::separator()));
        QCOMPARE(folder, QDir::toNativeSeparators(folder));
        QVERIFY(ExecutablePath().startsWith(folder));
        QCOMPARE(ExecutablePath(), QDir::toNativeSeparators(ExecutablePath()));
#ifdef Q_OS_WIN
        QVERIFY(!folder.contains(QLatin1Char('/')));
        QCOMPARE(folder.at(1), QLatin1Char(':'));
        QVERIFY(ExecutablePath().endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive));
#endif
    }

    void localDatabaseIsDadosBesideTheProgram()
    {
        QTemporaryDir dir;
        SetExecutableFolderForTesting(dir.path());
        const QString folder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
        QCOMPARE(ExecutableFolder(), folder);
        const QString expected = folder + QStringLiteral("Dados") + QDir::separator() + QStringLiteral("DBEMPRESA.FDB");
        QCOMPARE(LocalDatabasePath(QStringLiteral("DBEMPRESA.FDB")), expected);
#ifdef Q_OS_WIN
        QVERIFY(expected.endsWith(QStringLiteral("\\Dados\\DBEMPRESA.FDB")));
        QVERIFY(!expected.contains(QLatin1Char('/')));
#endif
        // What the connection prompt offers for a settings file without LOCAL.
        QCOMPARE(LoadConnectEntries(folder + QStringLiteral("nada.ini"), QStringLiteral("DBEMPRESA.FDB")).DatabasePath,
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestInstallPaths)
#include "tst_install_paths.moc"
