// The main window's turnstile connection against the private MariaDB server,
// its settings file, and the start-with-the-OS check box.
#include "app/form_principal.h"
#include "base/kr_guard.h"
#include "base/kr_inifile.h"
#include "support/db_servers.h"
#include "system/app_env.h"
#include "system/autostart.h"
#include "system/kr_message.h"
#include "system/kr_windows.h"
#include "turnstile/mysql_connection.h"
#include "turnstile/turnstile_settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

class TestTurnstileConnect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStartShowsDefaultsAndCreatesTheFileOnExit();
    void rewritesKeepTheFilePermissions();
    void emptyFieldsNeverOverwriteTheFileBeforeLoading();
    void validationMessagesInOrderThenConnectWithTheFile();
    void emptyPortRaisesNoMessage();
    void missingSettingsFile();
    void retriesTakeTheSettingsFileOnceWhole();

    void connectWithDefaultsResetsEveryRow();
    void reconnectAfterDisconnectRereadsTheFile();
    void missingKeysConnectWithWhatTheWindowShows();
    void badSettingsGiveClearErrors_data();
    void badSettingsGiveClearErrors();
    void silentServerDoesNotFreezeTheWindow();
    void missingTableKeepsTheConnectionOpen();
    void serverGoneDuringResetOffersToConnectAgain();

    void tickWritesAndUntickRemovesTheEntry();
    void loadingTicksAndRewritesAnExistingEntry();
    void failedRegistrationLeavesTheBoxUnticked();

private:
    bool HaveServer() const { return !dbtest::Env("CATRACA_MYSQL_HOST").isEmpty(); }
    QString File() const { return m_dir->path() + QStringLiteral("/dbxconnections.ini"); }
    QByteArray FileBytes() const;
    int Mode() const
    {
        struct stat st {};
        return ::stat(QFile::encodeName(File()).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }
    void WriteFile(const QByteArray &bytes) const;
    // Settings for the private server, with any of the keys replaced.
    turnstile::TSettingValues ServerSettings() const;
    void ShowForm();
    // Runs SQL as the turnstile user; the number of rows read or changed.
    qint64 Sql(const QString &sql);
    void ExpectConnectFailed(const QString &errorPart, const QByteArray &fileBefore);
    // The text of the failure box once it is open; closes it.
    QString WaitForFailureBox();
    QString AutostartFolder() const { return m_config->path() + QStringLiteral("/autostart"); }
    QString EntryText() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<TFrmPrincipal> m_form;
    QStringList m_messages; // "title: text @ focused field"
    QStringList m_errors;
};

void TestTurnstileConnect::initTestCase()
{
    SetMessagePresenter([this](const MessageRequest &r) {
        const QWidget *focus = QApplication::focusWidget();
        m_messages << r.title + QStringLiteral(": ") + r.text + QStringLiteral(" @ ")
                          + (focus ? focus->objectName() : QString());
        return MessageOutcome{};
    });
    SetTopLevelErrorDisplay([this](const QString &message) { m_errors << message; });
    TFrmPrincipal::SetTrayAvailableForTesting(true);
}

void TestTurnstileConnect::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    SetExecutableFolderForTesting(m_dir->path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    m_messages.clear();
    m_errors.clear();
    m_form = std::make_unique<TFrmPrincipal>(nullptr, false);
}

void TestTurnstileConnect::cleanup()
{
    m_form.reset();
    SetExecutableFolderForTesting(QString());
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
}

QByteArray TestTurnstileConnect::FileBytes() const
{
    QFile f(File());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void TestTurnstileConnect::WriteFile(const QByteArray &bytes) const
{
    QFile f(File());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

turnstile::TSettingValues TestTurnstileConnect::ServerSettings() const
{
    return {dbtest::Env("CATRACA_MYSQL_HOST"), dbtest::Env("CATRACA_MYSQL_PORT"), dbtest::Env("CATRACA_MYSQL_DATABASE"),
            dbtest::Env("CATRACA_MYSQL_USER"), dbtest::Env("CATRACA_MYSQL_PASSWORD")};
}

void TestTurnstileConnect::ShowForm()
{
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    // Away from the fields, so no exit handler runs unless a test asks.
    m_form->BtnFechar->setFocus();
}

qint64 TestTurnstileConnect::Sql(const QString &sql)
{
    TMySqlConnection c;
    const auto s = ServerSettings();
    for (std::size_t i = 0; i < s.size(); ++i)
        c.Params << turnstile::SettingKeys[i].key + QLatin1Char('=') + s[i];
    try {
        c.Open();
        return c.ExecuteDirect(sql);
    } catch (const std::exception &e) {
        qWarning("%s: %s", qPrintable(sql), e.what());
        return -1;
    }
}

QString TestTurnstileConnect::WaitForFailureBox()
{
    if (!QTest::qWaitFor([this] { return m_form->FailureBox() && m_form->FailureBox()->isVisible(); }, 20000))
        return QStringLiteral("<no failure box>");
    const QString text = m_form->FailureBox()->text();
    m_form->FailureBox()->close();
    return text;
}

void TestTurnstileConnect::ExpectConnectFailed(const QString &errorPart, const QByteArray &fileBefore)
{
    m_form->BtnConectarClick();
    const QString text = WaitForFailureBox();
    QVERIFY2(text.contains(errorPart), qPrintable(text));
    QVERIFY(!m_form->TurnstileConnected());
    QVERIFY(m_form->BtnConectar->isEnabled());
    QCOMPARE(FileBytes(), fileBefore);
}

QString TestTurnstileConnect::EntryText() const
{
    const QStringList files = QDir(AutostartFolder()).entryList(QDir::Files);
    if (files.size() != 1)
        return QStringLiteral("<%1 entries>").arg(files.size());
    QFile f(AutostartFolder() + QLatin1Char('/') + files.first());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// --- settings file ---------------------------------------------------------

void TestTurnstileConnect::firstStartShowsDefaultsAndCreatesTheFileOnExit()
{
    ShowForm();
    m_form->CarregaConfiguracao();
    QCOMPARE(m_form->EdtSRV->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(m_form->EdtPOR->text(), QStringLiteral("3307"));
    QCOMPARE(m_form->EdtBDA->text(), QStringLiteral("catraca"));
    QCOMPARE(m_form->EdtUSU->text(), QStringLiteral("catraca"));
    QCOMPARE(m_form->EdtSEN->text(), QStringLiteral("tur07"));
    QVERIFY(!m_form->CkInicia->isChecked());
    QVERIFY(!QFile::exists(File()));

    // Entering and leaving the port field, unchanged, writes all five keys.
    m_form->EdtPOR->setFocus();
    QVERIFY(!QFile::exists(File()));
    m_form->EdtSEN->setFocus();
    QVERIFY(QFile::exists(File()));
    const QStringList lines = QString::fromLatin1(FileBytes()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines, QStringList({"[MySQL]", "HostName=127.0.0.1", "Port=3307", "Database=catraca",
                                 "User_Name=catraca", "Password=tur07"}));
    // It holds a password in clear text.
    QCOMPARE(Mode(), 0600);
}

void TestTurnstileConnect::rewritesKeepTheFilePermissions()
{
    ShowForm();
    m_form->CarregaConfiguracao();
    m_form->EdtSEN->setFocus();
    m_form->EdtSEN->setText(QStringLiteral(" segredo com brancos "));
    m_form->EdtUSU->setFocus();
    QCOMPARE(Mode(), 0600);
    // Stored as typed, blanks included.
    QCOMPARE(turnstile::LoadSettings(File())[4], QStringLiteral(" segredo com brancos "));

    // Permissions chosen by the administrator stay as they are.
    QCOMPARE(::chmod(QFile::encodeName(File()).constData(), 0640), 0);
    m_form->EdtUSU->setText(QStringLiteral("outro"));
    m_form->EdtSRV->setFocus();
    QCOMPARE(turnstile::LoadSettings(File())[3], QStringLiteral("outro"));
    QCOMPARE(Mode(), 0640);
}

void TestTurnstileConnect::emptyFieldsNeverOverwriteTheFileBeforeLoading()
{
    // Start-up skipped loading (the ERP connection failed): the fields stay
    // empty and leaving them must not wipe the stored settings.
    WriteFile("[MySQL]\r\nHostName=servidor\r\nPassword=x\r\n");
    const QByteArray before = FileBytes();
    ShowForm();
    m_form->EdtSRV->setFocus();
    m_form->EdtBDA->setFocus();
    m_form->EdtSEN->setFocus();
    m_form->BtnFechar->setFocus();
    QCOMPARE(FileBytes(), before);
    QVERIFY(!m_form->ConfiguracaoCarregada());
}

void TestTurnstileConnect::validationMessagesInOrderThenConnectWithTheFile()
{
    if (!HaveServer())
        QSKIP("CATRACA_MYSQL_HOST is not set");
    turnstile::SaveSettings(File(), ServerSettings());
    const QByteArray before = FileBytes();
    ShowForm();
    m_form->EdtSRV->setText(QStringLiteral("  \t"));
    m_form->EdtPOR->setText(QStringLiteral("1"));
    m_form->BtnConectarClick();
    const QString text = QStringLiteral("Erro: Informe o servidor! @ ");
    QCOMPARE(m_messages, QStringList({text + "EdtSRV", text + "EdtBDA", text + "EdtUSU", text + "EdtSEN"}));
    // The connect went on with the file, which nothing overwrote.
    QTRY_VERIFY(m_form->TurnstileConnected());
    QCOMPARE(FileBytes(), before);
}

void TestTurnstileConnect::emptyPortRaisesNoMessage()
{
    if (!HaveServer())
        QSKIP("CATRACA_MYSQL_HOST is not set");
    turnstile::SaveSettings(File(), ServerSettings());
    ShowForm();
    m_form->CarregaConfiguracao();
    m_form->EdtPOR->clear();
    m_form->EdtUSU->setFocus();
    m_form->EdtUSU->clear();
    m_form->BtnConectarClick();
    // The user field was saved empty when the connect took the focus, so the
    // server refuses the empty user; the port left empty means the standard.
    QCOMPARE(m_messages, QStringList({QStringLiteral("Erro: Informe o servidor! @ EdtUSU")}));
    QCOMPARE(turnstile::LoadSettings(File())[1], QString());
    WaitForFailureBox();
}

void TestTurnstileConnect::missingSettingsFile()
{
    // Hidden, as after a start with the system: the file is only read.
    m_form->CarregaConfiguracao();
    m_form->ActConectar->trigger();
    QVERIFY(m_messages.isEmpty());
    // In Portuguese, the settings layer's own text in brackets.
    const QString text = WaitForFailureBox();
    QVERIFY2(text.endsWith(QStringLiteral(" O programa continua tentando. [Driver/Connection Registry File '%1' "
                                          "not found]")
                               .arg(File())),
             qPrintable(text));
    // A failure that is retried: red, and the retries can be stopped.
    QTRY_COMPARE(m_form->CurrentTrayState(), TSyncTrayState::Failing);
    QVERIFY(m_form->BtnConectar->isEnabled() && m_form->BtnDesconectar->isEnabled());
    QVERIFY(!QFile::exists(File()));

    // Looking at the fields, Conectar F2 writes them (no field had the
    // focus, whose exit would have written them already).
    m_form->CkInicia->setFocus();
    ShowForm();
    QVERIFY(!QFile::exists(File()));
    m_form->EdtPOR->setText(QString::number(dbtest::ClosedPort()));
    QTest::keyClick(m_form.get(), Qt::Key_F2);
    QCOMPARE(turnstile::LoadSettings(File())[1], m_form->EdtPOR->text());
    WaitForFailureBox();
}

void TestTurnstileConnect::retriesTakeTheSettingsFileOnceWhole()
{
    const QString text = QStringLiteral("[MySQL]\r\nHostName=127.0.0.1\r\nPort=3999\r\n");
    const QByteArray whole = text.toLatin1(), missing;
    const QByteArray utf16 = "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    // Each look's file (null: none) and whether it is taken.
    const QList<QList<std::pair<QByteArray, bool>>> cases = {
        {{missing, false}, {whole, false}, {whole, true}},
        {{whole.left(20), false}, {whole, false}, {whole, true}},
        {{QByteArray(whole.size(), '\0'), false}, {QByteArray(whole.size(), '\0'), false}, {whole, false}},
        {{"", false}, {"", false}},
        {{utf16, false}, {utf16, true}, {missing, false}, {utf16, false}},
    };
    for (const auto &looks : cases) {
        QByteArray lastLook;
        for (const auto &[bytes, taken] : looks) {
            bytes.isNull() ? void(QFile::remove(File())) : WriteFile(bytes);
            QStringList params;
            try {
                params = turnstile::LoadWrittenConnectionParams(File(), lastLook);
            } catch (const turnstile::TSettingsFileMissing &) {
            }
            QCOMPARE(params.contains(QStringLiteral("Port=3999")), taken);
        }
    }
}

// --- connecting ------------------------------------------------------------

void TestTurnstileConnect::connectWithDefaultsResetsEveryRow()
{
    if (!HaveServer())
        QSKIP("CATRACA_MYSQL_HOST is not set");
    Sql(QStringLiteral("delete from cad_comanda where num_comanda between 970001 and 970009"));
    Sql(QStringLiteral("insert into cad_comanda (num_comanda, fl_comanda) values (970001, 0), (970002, 0), (970003, 1)"));

    ShowForm();
    m_form->CarregaConfiguracao();
    // The defaults, on the port the private server listens on.
    m_form->EdtPOR->setFocus();
    m_form->EdtPOR->setText(dbtest::Env("CATRACA_MYSQL_PORT"));
    int connected = 0;
    connect(m_form->Sync.Engine(), &TSyncEngine::TurnstileConnectedChanged, m_form.get(), [&connected](bool up) {
        connected += up ? 1 : 0;
    });
    // The reset runs only in a cycle that read the ERP first.
    m_form->Sync.Start(dbtest::ErpDatabaseName(), dbtest::ErpParams());
    QTest::keyClick(m_form->EdtPOR, Qt::Key_F2);

    QTRY_VERIFY(m_form->TurnstileConnected());
    QVERIFY(m_messages.isEmpty());
    QVERIFY(!m_form->FailureBox());
    QCOMPARE(turnstile::LoadSettings(File())[1], dbtest::Env("CATRACA_MYSQL_PORT"));
    QCOMPARE(connected, 1);
    QVERIFY(!m_form->BtnConectar->isEnabled());
    QVERIFY(m_form->BtnDesconectar->isEnabled());
    QTRY_COMPARE(Sql(QStringLiteral("select 1 from cad_comanda where num_comanda between 970001 and 970009 and fl_comanda = 1")), 3);

    // F2 while connected does nothing.
    QTest::keyClick(m_form->BtnDesconectar, Qt::Key_F2);
    QTest::qWait(300);
    QCOMPARE(connected, 1);
    Sql(QStringLiteral("delete from cad_comanda where num_comanda between 970001 and 970009"));
}

void TestTurnstileConnect::reconnectAfterDisconnectRereadsTheFile()
{
    if (!HaveServer())
        QSKIP("CATRACA_MYSQL_HOST is not set");
    turnstile::SaveSettings(File(), ServerSettings());
    ShowForm();
    m_form->CarregaConfiguracao();
    m_form->BtnConectarClick();
    QTRY_VERIFY(m_form->TurnstileConnected());

    QTest::keyClick(m_form.get(), Qt::Key_F3);
    QTRY_VERIFY(!m_form->TurnstileConnected());
    QVERIFY(m_form->BtnConectar->isEnabled());
    QVERIFY(!m_form->BtnDesconectar->isEnabled());

    // Changed in the file by other means: the next connect uses it.
    SaveConfigFile(File(), QStringLiteral("MySQL"), QStringLiteral("Password"), QStringLiteral("errada"));
    ExpectConnectFailed(QStringLiteral("Access denied"), FileBytes());

    // Corrected in the field: leaving it saves, the connect reads it.
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    m_form->EdtSEN->setFocus();
    m_form->EdtSEN->setText(dbtest::Env("CATRACA_MYSQL_PASSWORD"));
    m_form->BtnConectar->click();
    QTRY_VERIFY(m_form->TurnstileConnected());
}

void TestTurnstileConnect::missingKeysConnectWithWhatTheWindowShows()
{
    if (!HaveServer())
        QSKIP("CATRACA_MYSQL_HOST is not set");
    const turnstile::TSettingValues server = ServerSettings();
    for (std::size_t i = 2; i < server.size(); ++i)
        if (server[i] != turnstile::SettingKeys[i].def)
            QSKIP("the private server's database, user or password are not the window's defaults");
    // Left out, the client library would use the system login as the user.
    WriteFile(QStringLiteral("; turnstile\r\n[MySQL]\r\nHostName=%1\r\nPort=%2\r\n\r\n[Outra]\r\nUser_Name=outro\r\n")
                  .arg(server[0], server[1])
                  .toUtf8());
    const QByteArray before = FileBytes();
    ShowForm();
    m_form->CarregaConfiguracao();
    QCOMPARE(m_form->EdtBDA->text(), QStringLiteral("catraca"));
    QCOMPARE(m_form->EdtUSU->text(), QStringLiteral("catraca"));
    QCOMPARE(m_form->EdtSEN->text(), QStringLiteral("tur07"));
    m_form->BtnConectarClick();
    QTRY_VERIFY(m_form->TurnstileConnected());
    QVERIFY(!m_form->FailureBox());
    // Reading the defaults writes nothing.
    QCOMPARE(FileBytes(), before);

    // A section without any of the keys: all five defaults, as the window shows.
    WriteFile("[MySQL]\r\n");
    const QStringList params = turnstile::LoadConnectionParams(File());
    QCOMPARE(params, QStringList({"HostName=127.0.0.1", "Port=3307", "Database=catraca", "User_Name=catraca",
                                  "Password=tur07"}));
}

void TestTurnstileConnect::badSettingsGiveClearErrors_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("error");
    QTest::newRow("wrong password") << "Password" << "errada" << "Access denied for user";
    QTest::newRow("port not a number") << "Port" << "33o7" << "Porta inválida";
    QTest::newRow("server down") << "Port" << QString::number(dbtest::ClosedPort()) << "Can't connect";
    QTest::newRow("unknown database") << "Database" << "nosuchdb" << "nosuchdb";
}

void TestTurnstileConnect::badSettingsGiveClearErrors()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, error);
    if (!HaveServer())
        QSKIP("CATRACA_MYSQL_HOST is not set");
    turnstile::SaveSettings(File(), ServerSettings());
    SaveConfigFile(File(), QStringLiteral("MySQL"), key, value);
    ShowForm();
    m_form->CarregaConfiguracao();
    QElapsedTimer clock;
    clock.start();
    ExpectConnectFailed(error, FileBytes());
    QVERIFY2(clock.elapsed() < 7000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(m_messages.isEmpty());
}

void TestTurnstileConnect::silentServerDoesNotFreezeTheWindow()
{
    // Accepts the connection at the socket level and never says a word.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    silent.pauseAccepting();
    auto s = ServerSettings();
    s[0] = QStringLiteral("127.0.0.1");
    s[1] = QString::number(silent.serverPort());
    turnstile::SaveSettings(File(), s);
    QElapsedTimer clock;
    clock.start();
    ExpectConnectFailed(QString(), FileBytes());
    qInfo("silent server gave up after %lld ms", clock.elapsed());
    QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
}

void TestTurnstileConnect::missingTableKeepsTheConnectionOpen()
{
    if (!HaveServer())
        QSKIP("CATRACA_MYSQL_HOST is not set");
    // A database of its own without cad_comanda, so the shared table stays
    // untouched; made by the server's root over its socket.
    const QString socket = dbtest::Env("CATRACA_SERVERS_DIR") + QStringLiteral("/mariadb/mysqld.sock");
    if (!QFile::exists(socket))
        QSKIP("the private server's socket is not where expected");
    QProcess root;
    root.start(QStringLiteral("mariadb"),
               {QStringLiteral("--no-defaults"), QStringLiteral("--socket=") + socket, QStringLiteral("-uroot"),
                QStringLiteral("-e"),
                QStringLiteral("create database if not exists catraca_sem_tabela; "
                               "grant all on catraca_sem_tabela.* to 'catraca'@'127.0.0.1', 'catraca'@'localhost';")});
    QVERIFY(root.waitForFinished(30000));
    QVERIFY2(root.exitCode() == 0, root.readAllStandardError().constData());
    auto s = ServerSettings();
    s[2] = QStringLiteral("catraca_sem_tabela");
    turnstile::SaveSettings(File(), s);
    // The reset runs only in a cycle that read the ERP first.
    m_form->Sync.Start(dbtest::ErpDatabaseName(), dbtest::ErpParams());
    m_form->BtnConectarClick();
    const QString text = WaitForFailureBox();
    QVERIFY2(text.contains(QStringLiteral("cad_comanda")), qPrintable(text));
    QVERIFY(m_form->TurnstileConnected());
    QVERIFY(!m_form->BtnConectar->isEnabled());
    QVERIFY(m_form->BtnDesconectar->isEnabled());
}

void TestTurnstileConnect::serverGoneDuringResetOffersToConnectAgain()
{
    if (!HaveServer() || dbtest::Env("CATRACA_SERVERS_SCRIPT").isEmpty())
        QSKIP("the private servers are not set up");
    turnstile::SaveSettings(File(), ServerSettings());
    // The reset waits for a lock held here; meanwhile the server stops.
    TMySqlConnection holder;
    const auto s = ServerSettings();
    for (std::size_t i = 0; i < s.size(); ++i)
        holder.Params << turnstile::SettingKeys[i].key + QLatin1Char('=') + s[i];
    holder.Open();
    holder.ExecuteDirect(QStringLiteral("lock tables cad_comanda write"));
    dbtest::TRestartGuard restart(QStringLiteral("start-mariadb"));
    QProcess stopper;
    stopper.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("sleep 1; exec \"$0\" stop-mariadb"),
                                         dbtest::Env("CATRACA_SERVERS_SCRIPT")});
    QVERIFY(stopper.waitForStarted());
    // The reset runs only in a cycle that read the ERP first.
    m_form->Sync.Start(dbtest::ErpDatabaseName(), dbtest::ErpParams());
    m_form->BtnConectarClick();
    // The client hears of the shutdown before the server is gone: wait for
    // the stop to end, so the restart on leaving finds it stopped.
    QVERIFY(stopper.waitForFinished(60000));
    WaitForFailureBox();
    QTRY_VERIFY(!m_form->TurnstileConnected());
    QVERIFY(m_form->BtnConectar->isEnabled());
    // Retried by itself meanwhile: the user can stop that.
    QVERIFY(m_form->BtnDesconectar->isEnabled());
}

// --- start with the OS -----------------------------------------------------

void TestTurnstileConnect::tickWritesAndUntickRemovesTheEntry()
{
    ShowForm();
    m_form->CarregaConfiguracao();
    QVERIFY(!m_form->CkInicia->isChecked());
    m_form->CkInicia->click();
    QVERIFY(m_form->CkInicia->isChecked());
    QVERIFY(RunsAtStartup(AutoStartValueName));
    QVERIFY2(EntryText().contains(QStringLiteral("HIDE")), qPrintable(EntryText()));
    m_form->CkInicia->click();
    QVERIFY(!m_form->CkInicia->isChecked());
    QVERIFY(!RunsAtStartup(AutoStartValueName));
    QVERIFY(QDir(AutostartFolder()).entryList(QDir::Files).isEmpty());
}

void TestTurnstileConnect::loadingTicksAndRewritesAnExistingEntry()
{
    platform::SetRunAtStartup(true, AutoStartValueName.toStdWString(), L"HIDE", L"/antiga/pasta/catraca-sync");
    QVERIFY(EntryText().contains(QStringLiteral("/antiga/pasta")));
    m_form->CarregaConfiguracao();
    QVERIFY(m_form->CkInicia->isChecked());
    QVERIFY2(!EntryText().contains(QStringLiteral("/antiga/pasta")), qPrintable(EntryText()));
    QVERIFY2(EntryText().contains(ExecutablePath()), qPrintable(EntryText()));
}

void TestTurnstileConnect::failedRegistrationLeavesTheBoxUnticked()
{
    ShowForm();
    m_form->CarregaConfiguracao();
    QFile blocker(AutostartFolder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_form->CkInicia->click();
    QCOMPARE(m_errors.size(), 1);
    m_errors.clear();
    QVERIFY(!m_form->CkInicia->isChecked());
    QVERIFY(!RunsAtStartup(AutoStartValueName));
}

DBTEST_MAIN(TestTurnstileConnect)
#include "tst_turnstile_connect.moc"
