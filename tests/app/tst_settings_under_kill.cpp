// The built program killed (SIGKILL) at random moments while it writes its
// settings: the completion of the ERP's IBCONFIG section and the rewrite of
// the start-up entry at a hidden start, and the turnstile's five keys when a
// field of the window loses the focus (under Xvfb, with xdotool typing like a
// user). Every file must be found either as it was or complete, and no
// temporary file may be left beside it.
//
// Each settings file is padded with a large section of other keys, so that a
// rewrite lasts long enough for random kills to land inside it; without that
// the writes take well under a millisecond and a kill nearly never meets one.
#include "support/db_servers.h"
#include "system/autostart.h"
#include "system/kr_windows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>

namespace {

using dbtest::Env;

constexpr int KillRunsAtStart = 30;
constexpr int KillRunsOnFieldExit = 16;
constexpr int KillRunsOnFirstSave = 4;
// Each case stays under half a minute, so the whole test under one; runs
// beyond the budget are left out.
constexpr qint64 BudgetMs = 27000;

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Some thousands of keys of another section, about the size given.
QByteArray Padding(const char *section, int bytes)
{
    QByteArray out = QByteArray("[") + section + "]\r\n";
    for (int i = 0; out.size() < bytes; ++i)
        out += "Chave" + QByteArray::number(i) + "=" + QByteArray(90, 'x') + "\r\n";
    return out;
}

ino_t Inode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

int Mode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QStringList Names(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

} // namespace

class TestSettingsUnderKill : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void erpCompletionAndStartupEntryAtHiddenStart();
    void turnstileKeysOnFieldExit();

private:
    QString InstallPath(const QString &name) const { return m_root->filePath(QStringLiteral("install/") + name); }
    QString AutostartFolder() const { return m_root->filePath(QStringLiteral("config/autostart")); }
    // The one entry of the autostart folder.
    QString EntryFile() const;
    QProcessEnvironment ProgramEnvironment(bool onDisplay) const;
    void Start(QProcess &process, bool hidden, bool onDisplay) const;
    static void Kill(QProcess &process);
    // Nothing but these in the installation and autostart folders.
    void ExpectOnly(const QStringList &install, const QStringList &autostart) const;
    bool OverBudget() const { return m_clock.elapsed() > BudgetMs; }

    QString m_binary;
    std::unique_ptr<QTemporaryDir> m_root;
    QByteArray m_turnstileSettings;
    QElapsedTimer m_clock;
    QString m_display;
    std::unique_ptr<QProcess> m_xvfb;
};

QString TestSettingsUnderKill::EntryFile() const
{
    const QStringList names = QDir(AutostartFolder()).entryList(QStringList(QStringLiteral("*.desktop")), QDir::Files);
    return names.size() == 1 ? AutostartFolder() + QLatin1Char('/') + names.first() : QString();
}

QProcessEnvironment TestSettingsUnderKill::ProgramEnvironment(bool onDisplay) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CATRACA_STARTUP_WAIT_MS"), QStringLiteral("0"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_root->filePath(QStringLiteral("config")));
    // The single-instance lock and socket of each run stay in the test's folder.
    env.insert(QStringLiteral("TMPDIR"), m_root->filePath(QStringLiteral("tmp")));
    if (onDisplay) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("DISPLAY"));
    }
    return env;
}

void TestSettingsUnderKill::Start(QProcess &process, bool hidden, bool onDisplay) const
{
    process.setProcessEnvironment(ProgramEnvironment(onDisplay));
    process.setWorkingDirectory(m_root->filePath(QStringLiteral("tmp")));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(InstallPath(QStringLiteral("catraca-sync")),
                  hidden ? QStringList(QStringLiteral("HIDE")) : QStringList());
    QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
}

void TestSettingsUnderKill::Kill(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(10000);
    }
}

void TestSettingsUnderKill::ExpectOnly(const QStringList &install, const QStringList &autostart) const
{
    QStringList allowedInstall = install;
    allowedInstall << QStringLiteral("catraca-sync");
    allowedInstall.sort();
    QStringList found = Names(m_root->filePath(QStringLiteral("install")));
    found.removeAll(QStringLiteral("catraca-sync.log")); // written or not, depending on the moment
    // The single-instance lock lives outside the folder: nothing else here.
    QCOMPARE(found.join(QLatin1Char(' ')), allowedInstall.join(QLatin1Char(' ')));
    QCOMPARE(Names(AutostartFolder()).join(QLatin1Char(' ')), autostart.join(QLatin1Char(' ')));
}

void TestSettingsUnderKill::initTestCase()
{
    m_binary = Env("CATRACA_BINARY");
    if (m_binary.isEmpty() || Env("CATRACA_FB_HOST").isEmpty() || Env("CATRACA_MYSQL_HOST").isEmpty())
        QSKIP("needs CATRACA_BINARY and the private servers (CATRACA_FB_HOST, CATRACA_MYSQL_HOST)");
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    for (const char *folder : {"install", "config/autostart", "tmp"})
        QVERIFY(QDir(m_root->path()).mkpath(QString::fromLatin1(folder)));
    QVERIFY(QFile::copy(m_binary, InstallPath(QStringLiteral("catraca-sync"))));
    QFile::setPermissions(InstallPath(QStringLiteral("catraca-sync")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A port nobody listens on: the hidden start's connect fails, so the runs
    // never write to the turnstile table the other tests share.
    m_turnstileSettings = QStringLiteral("[MySQL]\r\nHostName=127.0.0.1\r\nPort=%1\r\n")
                              .arg(dbtest::ClosedPort())
                              .toUtf8();
}

void TestSettingsUnderKill::cleanupTestCase()
{
    if (m_xvfb) {
        m_xvfb->terminate();
        if (!m_xvfb->waitForFinished(5000)) {
            m_xvfb->kill();
            m_xvfb->waitForFinished(5000);
        }
    }
}

void TestSettingsUnderKill::erpCompletionAndStartupEntryAtHiddenStart()
{
    m_clock.start();
    // USUARIO, SENHA and USACONFIG are missing: every start completes them.
    const QString fbPort = Env("CATRACA_FB_PORT") == QLatin1String("3050") ? QString() : Env("CATRACA_FB_PORT");
    const QByteArray erpBefore =
        QStringLiteral("[IBCONFIG]\r\nIP=%1\r\nLOCAL=%2\r\nPORTA=%3\r\n\r\n")
            .arg(Env("CATRACA_FB_HOST"), Env("CATRACA_FB_DATABASE"), fbPort)
            .toUtf8()
        + Padding("HISTORICO", 3 * 1024 * 1024);
    const QString erpFile = InstallPath(QStringLiteral("norvacomercio.ini"));
    QVERIFY(WriteAll(InstallPath(QStringLiteral("dbxconnections.ini")), m_turnstileSettings));
    // Written from another folder: every start rewrites it with this one.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root->filePath(QStringLiteral("config"))));
    platform::SetRunAtStartup(true, AutoStartValueName.toStdWString(), L"HIDE", L"/antiga/pasta/catraca-sync");
    const QString entryFile = EntryFile();
    QVERIFY2(!entryFile.isEmpty(), qPrintable(Names(AutostartFolder()).join(QLatin1Char(' '))));
    const QString entry = QFileInfo(entryFile).fileName();
    const QByteArray entryBefore = ReadAll(entryFile);

    auto reset = [&] {
        QVERIFY(WriteAll(erpFile, erpBefore));
        QVERIFY(WriteAll(entryFile, entryBefore));
    };
    reset();
    const ino_t erpInode = Inode(erpFile), entryInode = Inode(entryFile);
    QProcess calibration;
    QElapsedTimer clock;
    clock.start();
    Start(calibration, true, false);
    // The time of the last replacement of each file, once both stay as they
    // are for a while.
    qint64 erpDone = -1, entryDone = -1;
    ino_t erpSeen = erpInode, entrySeen = entryInode;
    while (clock.elapsed() < 30000
           && (erpDone < 0 || entryDone < 0 || clock.elapsed() - qMax(erpDone, entryDone) < 500)) {
        if (Inode(erpFile) != erpSeen) {
            erpSeen = Inode(erpFile);
            erpDone = clock.elapsed();
        }
        if (Inode(entryFile) != entrySeen) {
            entrySeen = Inode(entryFile);
            entryDone = clock.elapsed();
        }
        QThread::usleep(500);
    }
    Kill(calibration);
    QVERIFY2(erpDone > 0 && entryDone > 0, "a start without a kill did not write both files");
    const QByteArray erpAfter = ReadAll(erpFile), entryAfter = ReadAll(entryFile);
    QVERIFY(erpAfter != erpBefore);
    QVERIFY(erpAfter.contains("USUARIO=\r\nSENHA=\r\nUSACONFIG=0\r\n"));
    QVERIFY(entryAfter != entryBefore);
    QVERIFY2(entryAfter.contains(QFile::encodeName(InstallPath(QStringLiteral("catraca-sync")))), entryAfter.constData());
    qInfo("without a kill: IBCONFIG completed after %lld ms, start-up entry rewritten after %lld ms", erpDone,
          entryDone);

    // Half the kills land around the completion (the rewrite of the large
    // file ends there), the others around the entry's rewrite.
    auto around = [](qint64 done, qint64 before, qint64 after) {
        const qint64 from = qMax<qint64>(0, done - before);
        return from + qint64(QRandomGenerator::global()->bounded(quint32(done + after - from)));
    };
    int runs = 0, erpStates[2] = {0, 0}, entryStates[2] = {0, 0};
    for (; runs < KillRunsAtStart && !OverBudget(); ++runs) {
        reset();
        const qint64 delay = runs % 2 ? around(erpDone, 400, 30) : around(entryDone, 150, 100);
        QProcess process;
        Start(process, true, false);
        QThread::usleep(ulong(delay * 1000));
        Kill(process);

        const QByteArray erpNow = ReadAll(erpFile), entryNow = ReadAll(entryFile);
        QVERIFY2(erpNow == erpBefore || erpNow == erpAfter,
                 qPrintable(QStringLiteral("run %1, killed after %2 ms: norvacomercio.ini is half-written (%3 bytes)")
                                .arg(runs)
                                .arg(delay)
                                .arg(erpNow.size())));
        QVERIFY2(entryNow == entryBefore || entryNow == entryAfter,
                 qPrintable(QStringLiteral("run %1, killed after %2 ms: start-up entry is half-written: %3")
                                .arg(runs)
                                .arg(delay)
                                .arg(QString::fromUtf8(entryNow))));
        ++erpStates[erpNow == erpAfter];
        ++entryStates[entryNow == entryAfter];
        ExpectOnly({QStringLiteral("dbxconnections.ini"), QStringLiteral("norvacomercio.ini")}, {entry});
        if (QTest::currentTestFailed()) {
            qWarning("run %d, killed after %lld ms", runs, delay);
            return;
        }
    }
    qInfo("%d kills: IBCONFIG as before %d, complete %d; start-up entry as before %d, rewritten %d", runs,
          erpStates[0], erpStates[1], entryStates[0], entryStates[1]);
    QVERIFY(runs >= 10);
}

void TestSettingsUnderKill::turnstileKeysOnFieldExit()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("needs Xvfb and xdotool (scripts/install-deps.sh installs them)");
    m_clock.start();
    m_xvfb = std::make_unique<QProcess>();
    // Xvfb picks a free display and names it on the descriptor given.
    m_xvfb->start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                           QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                           QStringLiteral("1024x768x24")});
    QVERIFY(m_xvfb->waitForStarted(10000));
    QElapsedTimer wait;
    wait.start();
    while (!m_xvfb->canReadLine() && wait.elapsed() < 10000)
        m_xvfb->waitForReadyRead(200);
    const QByteArray number = m_xvfb->readLine().trimmed();
    QVERIFY2(!number.isEmpty(), "Xvfb named no display");
    m_display = QStringLiteral(":") + QString::fromLatin1(number);

    // The ERP's file complete (nothing written at start), no start-up entry.
    QVERIFY(WriteAll(InstallPath(QStringLiteral("norvacomercio.ini")),
                     QStringLiteral("[IBCONFIG]\r\nIP=%1\r\nLOCAL=%2\r\nUSUARIO=\r\nSENHA=\r\nPORTA=%3\r\nUSACONFIG=0\r\n")
                         .arg(Env("CATRACA_FB_HOST"), Env("CATRACA_FB_DATABASE"),
                              Env("CATRACA_FB_PORT") == QLatin1String("3050") ? QString() : Env("CATRACA_FB_PORT"))
                         .toUtf8()));
    for (const QString &name : QDir(AutostartFolder()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(AutostartFolder() + QLatin1Char('/') + name);
    // Three of the five keys missing: the window shows their defaults, and
    // leaving a field writes all five.
    const QString file = InstallPath(QStringLiteral("dbxconnections.ini"));
    const QByteArray before = QByteArray("[MySQL]\r\nHostName=127.0.0.1\r\nPort=3307\r\n\r\n") + Padding("Outra", 3 * 1024 * 1024);
    const QByteArray created = "[MySQL]\r\nHostName=127.0.0.1\r\nPort=3307\r\nDatabase=catraca\r\nUser_Name=catraca\r\n"
                               "Password=tur07\r\n";

    // Shows the window, focuses it and presses Tab in the host field; the
    // time from the key to the file's replacement, or -1.
    auto typeTab = [&](QProcess &process, qint64 killAfterMs, bool *typed) -> qint64 {
        *typed = false;
        Start(process, false, true);
        QProcess xdotool;
        xdotool.setProcessEnvironment(ProgramEnvironment(true));
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--name"), QStringLiteral("Catracas Ovrex"), QStringLiteral("windowfocus"),
                       QStringLiteral("--sync"), QStringLiteral("key"), QStringLiteral("Tab")});
        if (!xdotool.waitForFinished(20000) || xdotool.exitCode() != 0) {
            xdotool.kill();
            xdotool.waitForFinished(2000);
            return -1;
        }
        *typed = true;
        QElapsedTimer sinceKey;
        sinceKey.start();
        if (killAfterMs >= 0) {
            QThread::usleep(ulong(killAfterMs * 1000));
            Kill(process);
            return killAfterMs;
        }
        // The last replacement, once the file stays as it is for a while.
        ino_t seen = Inode(file);
        qint64 done = -1;
        while (sinceKey.elapsed() < 10000 && (done < 0 || sinceKey.elapsed() - done < 500)) {
            if (Inode(file) != seen) {
                seen = Inode(file);
                done = sinceKey.elapsed();
            }
            QThread::usleep(500);
        }
        Kill(process);
        return done;
    };

    QVERIFY(WriteAll(file, before));
    QProcess calibration;
    bool typed = false;
    const qint64 saveDone = typeTab(calibration, -1, &typed);
    QVERIFY2(typed, "xdotool found no window of the program");
    QVERIFY2(saveDone >= 0, "leaving the host field did not save the settings");
    const QByteArray after = ReadAll(file);
    QVERIFY2(after.startsWith("[MySQL]\r\nHostName=127.0.0.1\r\nPort=3307\r\nDatabase=catraca\r\nUser_Name=catraca\r\n"
                              "Password=tur07\r\n\r\n[Outra]"),
             after.left(200).constData());
    qInfo("without a kill: settings saved %lld ms after the key", saveDone);

    const qint64 span = saveDone * 3 / 2 + 10;
    int runs = 0, states[2] = {0, 0}, createdStates[2] = {0, 0};
    for (int i = 0; i < KillRunsOnFieldExit + KillRunsOnFirstSave && !OverBudget(); ++i, ++runs) {
        // The last runs start without the file: it is created on the first save.
        const bool firstSave = i >= KillRunsOnFieldExit;
        if (firstSave)
            QFile::remove(file);
        else
            QVERIFY(WriteAll(file, before));
        const qint64 delay = qint64(QRandomGenerator::global()->bounded(quint32(span)));
        QProcess process;
        typeTab(process, delay, &typed);
        QVERIFY2(typed, "xdotool found no window of the program");
        const QByteArray now = ReadAll(file);
        if (firstSave) {
            QVERIFY2(now == "<missing>" || (now == created && Mode(file) == 0600),
                     qPrintable(QStringLiteral("run %1, killed %2 ms after the key: %3 (mode %4)")
                                    .arg(runs)
                                    .arg(delay)
                                    .arg(QString::fromUtf8(now))
                                    .arg(Mode(file), 0, 8)));
            ++createdStates[now == created];
        } else {
            QVERIFY2(now == before || now == after,
                     qPrintable(QStringLiteral("run %1, killed %2 ms after the key: dbxconnections.ini is "
                                               "half-written: %3")
                                    .arg(runs)
                                    .arg(delay)
                                    .arg(QString::fromUtf8(now.left(160)))));
            ++states[now == after];
        }
        QStringList install{QStringLiteral("norvacomercio.ini")};
        if (now != "<missing>")
            install << QStringLiteral("dbxconnections.ini");
        ExpectOnly(install, {});
        if (QTest::currentTestFailed())
            return;
    }
    qInfo("%d kills within %lld ms of the key: as before %d, complete %d; first save: none %d, created %d", runs,
          span, states[0], states[1], createdStates[0], createdStates[1]);
    QVERIFY(runs >= 8);
}

DBTEST_GUILESS_MAIN(TestSettingsUnderKill)
#include "tst_settings_under_kill.moc"
