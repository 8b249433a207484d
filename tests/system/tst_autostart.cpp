// Start-up registration as the main window uses it, against a temporary XDG
// autostart folder.
#include "base/kr_error.h"
#include "system/app_env.h"
#include "system/kr_windows.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestAutostart : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_config;

    QString autostartFolder() const { return m_config.path() + QStringLiteral("/autostart"); }

    QStringList entries() const
    {
        return QDir(autostartFolder()).entryList(QDir::Files | QDir::Hidden);
    }

    QString entryText() const
    {
        const QStringList files = entries();
        if (files.size() != 1)
            return QStringLiteral("<%1 entries>").arg(files.size());
        QFile f(autostartFolder() + QLatin1Char('/') + files.first());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QString execLine() const
    {
        for (const QString &line : entryText().split(QLatin1Char('\n')))
            if (line.startsWith(QStringLiteral("Exec=")))
                return line.mid(5);
        return {};
    }

    void installIn(const QString &folder)
    {
        QDir().mkpath(folder);
        SetExecutableFolderForTesting(folder);
    }

private slots:
    void init()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        QDir(autostartFolder()).removeRecursively();
    }

    void cleanupTestCase() { SetExecutableFolderForTesting(QString()); }

    void writesOneDesktopEntryWithTheHideSwitch()
    {
        installIn(m_config.path() + QStringLiteral("/Krelo Sync"));
        QVERIFY(!RunsAtStartup(AutoStartValueName));
        SetRunAtStartup(true, AutoStartValueName, QStringLiteral("HIDE"));
        QVERIFY(RunsAtStartup(AutoStartValueName));

        const QStringList lines = entryText().split(QLatin1Char('\n'));
        QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
        QVERIFY(lines.contains(QStringLiteral("Name=Integração com Catracas Ovrex/Miravel")));
        QVERIFY(lines.contains(QStringLiteral("Type=Application")));
        QVERIFY(lines.contains(QStringLiteral("Terminal=false")));
        QVERIFY(lines.contains(QStringLiteral("X-KDE-autostart-after=panel")));
        // The path has blanks: quoted, so the program still sees HIDE first.
        QCOMPARE(execLine(), QLatin1Char('"') + m_config.path() + QStringLiteral("/Krelo Sync/catraca-sync\" HIDE"));

        // The slash of the name does not make a subfolder, and the file name is plain.
        const QString file = entries().first();
        QVERIFY(file.endsWith(QStringLiteral(".desktop")));
        for (QChar c : file)
            QVERIFY2(c.unicode() < 128 && c != QLatin1Char(' '), qPrintable(file));
    }

    void writingAgainPointsAtTheNewExecutable()
    {
        installIn(m_config.path() + QStringLiteral("/old"));
        SetRunAtStartup(true, AutoStartValueName, QStringLiteral("HIDE"));
        installIn(m_config.path() + QStringLiteral("/new"));
        SetRunAtStartup(true, AutoStartValueName, QStringLiteral("HIDE"));
        QCOMPARE(entries().size(), 1);
        QCOMPARE(execLine(), QLatin1Char('"') + m_config.path() + QStringLiteral("/new/catraca-sync\" HIDE"));
    }

    void deletesTheEntryAndAMissingOneQuietly()
    {
        installIn(m_config.path() + QStringLiteral("/app"));
        SetRunAtStartup(true, AutoStartValueName, QStringLiteral("HIDE"));
        SetRunAtStartup(false, AutoStartValueName, QStringLiteral("HIDE"));
        QVERIFY(!RunsAtStartup(AutoStartValueName));
        QVERIFY(entries().isEmpty());
        SetRunAtStartup(false, AutoStartValueName, QStringLiteral("HIDE"));
        QVERIFY(!RunsAtStartup(AutoStartValueName));
    }

    void theNameIsMatchedExactly()
    {
        installIn(m_config.path() + QStringLiteral("/app"));
        SetRunAtStartup(true, AutoStartValueName, QStringLiteral("HIDE"));
        QVERIFY(!RunsAtStartup(QStringLiteral("Integracao com Catracas Ovrex/Miravel")));
        QVERIFY(!RunsAtStartup(QStringLiteral("Integração com Catracas Ovrex Miravel")));
        SetRunAtStartup(false, QStringLiteral("Integração com Catracas Ovrex Miravel"), QStringLiteral("HIDE"));
        QVERIFY(RunsAtStartup(AutoStartValueName));
    }

    void shellCharactersInThePathAreEscaped()
    {
        installIn(m_config.path() + QStringLiteral("/Krelo 100% $HOME"));
        SetRunAtStartup(true, AutoStartValueName, QStringLiteral("HIDE"));
        // Desktop entry rules: %% for a percent sign, \$ inside quotes, and
        // the backslash itself doubled by the string escapes.
        QCOMPARE(execLine(),
                 QLatin1Char('"') + m_config.path() + QStringLiteral("/Krelo 100%% \\\\$HOME/catraca-sync\" HIDE"));
    }

    void aWriteThatFailsRaisesItsError()
    {
        // Even as root nothing can be created below a file.
        QFile blocker(m_config.path() + QStringLiteral("/blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker.fileName()));
        installIn(m_config.path() + QStringLiteral("/app"));
        try {
            SetRunAtStartup(true, AutoStartValueName, QStringLiteral("HIDE"));
            QFAIL("no error raised");
        } catch (const KrError &e) {
            QCOMPARE(e.message(), QStringLiteral("Failed to set data for 'Integração com Catracas Ovrex/Miravel'"));
        }
        QVERIFY(!RunsAtStartup(AutoStartValueName));
    }
};

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
