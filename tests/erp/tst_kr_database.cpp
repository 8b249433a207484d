// The ERP database manager against the private Firebird server of
// scripts/servers.sh, with a scripted connection prompt.
#include "base/kr_inifile.h"
#include "erp/kr_database.h"
#include "erp/kr_scramble.h"
#include "system/app_env.h"
#include "system/kr_message.h"
#include "support/db_servers.h"

#include <QtTest>
#include <deque>
#include <optional>

namespace {

const QString Section = QStringLiteral("IBCONFIG");

// What one showing of the prompt was given and what the script answered.
struct TShowing {
    QString settingsFile;
    TConnectEntries shown;
};

class TFakePrompt : public IConnectPrompt
{
public:
    // Answers, one per showing: values for OK, nullopt for Cancel.
    static inline std::deque<std::optional<TConnectEntries>> Script;
    static inline QList<TShowing> Showings;
    static inline int Created = 0;

    TFakePrompt() { ++Created; }

    bool Execute() override
    {
        Showings.append({SettingsFile, EntriesToShow()});
        if (Script.empty())
            return false;
        auto answer = Script.front();
        Script.pop_front();
        if (!answer)
            return false;
        m_entries = *answer;
        return true;
    }
    TConnectEntries Entries() const override { return m_entries; }

private:
    TConnectEntries m_entries;
};

TConnectEntries Entries(const QString &host, const QString &path, const QString &port, const QString &user,
                        const QString &password, bool advanced)
{
    TConnectEntries e;
    e.Host = host;
    e.DatabasePath = path;
    e.Port = port;
    e.User = user;
    e.Password = password;
    e.Advanced = advanced;
    return e;
}

QByteArray FileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString ServerText(const ISC_STATUS *status)
{
    char buffer[512];
    QString text;
    while (fb_interpret(buffer, sizeof buffer, &status) > 0)
        text += QString::fromLocal8Bit(buffer) + QLatin1Char(' ');
    return text;
}

} // namespace

class TstKrDatabase : public QObject
{
    Q_OBJECT

    QString m_host;
    QString m_port;
    QString m_sample;
    QString m_password;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFbDatabase> m_db;
    std::unique_ptr<TFbTransaction> m_tra;
    std::unique_ptr<TKRDBManager> m_manager;
    QList<MessageRequest> m_messages;
    int m_endRequests = 0;

    QString Folder() const { return m_dir->path() + QLatin1Char('/'); }
    QString Settings() const { return Folder() + QStringLiteral("norvacomercio.ini"); }
    QString LocalPath() const { return Folder() + QStringLiteral("Dados/DBEMPRESA.FDB"); }

    void RequireServer()
    {
        if (m_host.isEmpty())
            QSKIP("CATRACA_FB_HOST is not set: start scripts/servers.sh and source its env.sh");
    }

    // A settings file pointing at the sample database through the port.
    void WriteSettings(const QString &user, const QString &password, bool advanced)
    {
        TIniFile ini(Settings());
        ini.WriteString(Section, QStringLiteral("IP"), m_host);
        ini.WriteString(Section, QStringLiteral("LOCAL"), m_sample);
        ini.WriteString(Section, QStringLiteral("PORTA"), m_port);
        ini.WriteString(Section, QStringLiteral("USUARIO"), ScrambleValue(user, TRESVOLA));
        ini.WriteString(Section, QStringLiteral("SENHA"), ScrambleValue(password, TRESVOLA));
        ini.WriteBool(Section, QStringLiteral("USACONFIG"), advanced);
    }

    QString Read(const QString &key, const QString &path = {}) const
    {
        return TIniFile(path.isEmpty() ? Settings() : path).ReadString(Section, key, QStringLiteral("<absent>"));
    }

    // The local database file, made by the server itself so that it is a real
    // database; the server and this test share the machine.
    void CreateLocalDatabase()
    {
        QVERIFY(QDir().mkpath(Folder() + QStringLiteral("Dados")));
        const QByteArray sql = QStringLiteral("CREATE DATABASE '%1/%2:%3' USER 'SYSDBA' PASSWORD '%4' "
                                              "DEFAULT CHARACTER SET WIN1252")
                                   .arg(m_host, m_port, LocalPath(), m_password)
                                   .toLocal8Bit();
        ISC_STATUS_ARRAY status;
        isc_db_handle db = 0;
        isc_tr_handle tr = 0;
        if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql.constData(), 3, nullptr))
            QFAIL(qPrintable(ServerText(status)));
        isc_detach_database(status, &db);
    }

private slots:
    void initTestCase()
    {
        m_host = qEnvironmentVariable("CATRACA_FB_HOST");
        m_port = qEnvironmentVariable("CATRACA_FB_PORT", QStringLiteral("3050"));
        m_sample = qEnvironmentVariable("CATRACA_FB_DATABASE");
        m_password = qEnvironmentVariable("CATRACA_FB_PASSWORD", QStringLiteral("vellowtip"));
        SetMessagePresenter([this](const MessageRequest &r) {
            m_messages.append(r);
            return MessageOutcome{};
        });
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        SetExecutableFolderForTesting(m_dir->path());
        QFile(Folder() + QStringLiteral("nosound.dat")).open(QIODevice::WriteOnly);
        SetArgumentsForTesting({});
        m_db = std::make_unique<TFbDatabase>();
        m_db->Params = {QStringLiteral("user_name=sysdba"), QStringLiteral("password=vellowtip"),
                        QStringLiteral("lc_ctype=WIN1252")};
        m_tra = std::make_unique<TFbTransaction>();
        m_tra->SetDefaultDatabase(m_db.get());
        m_manager = std::make_unique<TKRDBManager>();
        m_manager->Database = m_db.get();
        m_manager->Transaction = m_tra.get();
        m_manager->DefaultDatabaseFile = QStringLiteral("DBEMPRESA.FDB");
        m_manager->SettingsFile = Settings();
        m_manager->EndApplication = [this] { ++m_endRequests; };
        SetConnectPromptFactory([] { return std::make_unique<TFakePrompt>(); });
        TFakePrompt::Script.clear();
        TFakePrompt::Showings.clear();
        TFakePrompt::Created = 0;
        m_messages.clear();
        m_endRequests = 0;
    }

    void cleanup()
    {
        m_manager.reset();
        m_tra.reset();
        m_db.reset(); // detaches before the folder goes
        m_dir.reset();
        SetExecutableFolderForTesting({});
        SetArgumentsForTesting({});
    }

    void localDatabaseWithoutSettingsFile()
    {
        RequireServer();
        CreateLocalDatabase();
        QVERIFY(!QFile::exists(Settings()));
        QVERIFY(m_manager->CheckSettingsFile(Settings()));

        const bool reachable = m_port == QStringLiteral("3050");
        const bool connected = m_manager->Connect(false);
        // Every key is in the file before the connection is tried.
        QCOMPARE(Read(QStringLiteral("IP")), QStringLiteral("127.0.0.1"));
        QCOMPARE(Read(QStringLiteral("LOCAL")), LocalPath());
        QCOMPARE(Read(QStringLiteral("USUARIO")), QString());
        QCOMPARE(Read(QStringLiteral("SENHA")), QString());
        QCOMPARE(Read(QStringLiteral("PORTA")), QString());
        QCOMPARE(Read(QStringLiteral("USACONFIG")), QStringLiteral("0"));
        QCOMPARE(m_db->DatabaseName, QStringLiteral("127.0.0.1:") + LocalPath());
        QCOMPARE(m_db->Params, (QStringList{QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=vellowtip"),
                                            QStringLiteral("lc_ctype=WIN1252")}));
        QCOMPARE(TFakePrompt::Created, 1);
        if (reachable) {
            QVERIFY(connected);
            QVERIFY(TFakePrompt::Showings.isEmpty());
            QVERIFY(m_messages.isEmpty());
        } else {
            // The server of this run listens elsewhere: the port-less string
            // cannot reach it, so the failure path is what shows here.
            QVERIFY(!connected);
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(m_messages[0].title, QStringLiteral("Erro ao conectar"));
            QCOMPARE(TFakePrompt::Showings.size(), 1);
        }
    }

    void portSetAndBlank()
    {
        RequireServer();
        WriteSettings(QStringLiteral("x"), QStringLiteral("y"), false);
        QVERIFY(m_manager->Connect(false));
        QCOMPARE(m_db->DatabaseName, QStringLiteral("%1/%2:%3").arg(m_host, m_port, m_sample));
        QVERIFY(m_db->Connected());
        // USACONFIG=0: the stored user is ignored.
        QCOMPARE(m_db->Params.at(0), QStringLiteral("user_name=SYSDBA"));

        TIniFile(Settings()).WriteString(Section, QStringLiteral("PORTA"), QStringLiteral("   "));
        const bool opened = m_manager->OpenFromSettings(Settings());
        QCOMPARE(m_db->DatabaseName, QStringLiteral("%1:%2").arg(m_host, m_sample));
        QCOMPARE(opened, m_port == QStringLiteral("3050"));
        QCOMPARE(m_messages.size(), opened ? 0 : 1);
    }

    void blankHostIsRewritten()
    {
        RequireServer();
        WriteSettings({}, {}, false);
        TIniFile(Settings()).WriteString(Section, QStringLiteral("IP"), QStringLiteral("   "));
        QVERIFY(m_manager->OpenFromSettings(Settings()));
        QCOMPARE(Read(QStringLiteral("IP")), QStringLiteral("127.0.0.1"));
        QVERIFY(m_db->DatabaseName.startsWith(QStringLiteral("127.0.0.1/")));
    }

    void advancedSettings()
    {
        RequireServer();
        WriteSettings(QStringLiteral("SYSDBA"), m_password, true);
        QVERIFY(m_manager->Connect(false));
        QCOMPARE(m_db->Params.mid(0, 2),
                 (QStringList{QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=") + m_password}));

        // Without a user the line stays "user_name=" and the server refuses.
        WriteSettings(QString(), QStringLiteral("segredo"), true);
        QVERIFY(!m_manager->OpenFromSettings(Settings()));
        QCOMPARE(m_db->Params.mid(0, 2),
                 (QStringList{QStringLiteral("user_name="), QStringLiteral("password=segredo")}));
        QVERIFY(!m_db->Connected());
        QCOMPARE(m_messages.size(), 1);
    }

    void lcCtypeAppendedOnlyWhenMissing()
    {
        RequireServer();
        WriteSettings({}, {}, false);
        m_db->Params = {QStringLiteral("user_name=a"), QStringLiteral("password=b")};
        QVERIFY(m_manager->OpenFromSettings(Settings()));
        QCOMPARE(m_db->Params.last(), QStringLiteral("lc_ctype=win1252"));
        QVERIFY(m_manager->OpenFromSettings(Settings()));
        QCOMPARE(m_db->Params.size(), 3);

        m_db->Close();
        m_db->Params = {QStringLiteral("user_name=a")};
        QVERIFY_THROWS_EXCEPTION(KrError, m_manager->OpenFromSettings(Settings()));
    }

    void cfgArgumentInAnyCase()
    {
        RequireServer();
        const QString other = Folder() + QStringLiteral("loja.ini");
        {
            TIniFile ini(other);
            ini.WriteString(Section, QStringLiteral("IP"), m_host);
            ini.WriteString(Section, QStringLiteral("LOCAL"), m_sample);
            ini.WriteString(Section, QStringLiteral("PORTA"), m_port);
        }
        SetArgumentsForTesting({QStringLiteral("cFg=") + other, QStringLiteral("CFG=/nao/existe.ini")});
        QVERIFY(m_manager->Connect(false));
        QVERIFY(!QFile::exists(Settings()));
        QCOMPARE(Read(QStringLiteral("USACONFIG"), other), QStringLiteral("0"));

        m_manager->SettingsFile.clear();
        SetArgumentsForTesting({QStringLiteral("HIDE")});
        const QString fallback = m_manager->EffectiveSettingsPath();
        QVERIFY(fallback.endsWith(QStringLiteral(".ini")));
        QCOMPARE(QFileInfo(fallback).completeBaseName(), QFileInfo(ExecutablePath()).completeBaseName());
    }

    void wrongPasswordShowsThePromptAgain()
    {
        RequireServer();
        WriteSettings(QStringLiteral("SYSDBA"), QStringLiteral("errada"), true);
        TFakePrompt::Script = {Entries(m_host, m_sample, m_port, QStringLiteral("SYSDBA"), QStringLiteral("outra"), true),
                               Entries(m_host, m_sample, m_port, QStringLiteral("SYSDBA"), m_password, true)};
        QVERIFY(m_manager->Connect(false));

        QCOMPARE(m_messages.size(), 2);
        for (const MessageRequest &m : m_messages) {
            QCOMPARE(m.title, QStringLiteral("Erro ao conectar"));
            QVERIFY2(m.text.contains(QStringLiteral("user name and password")), qPrintable(m.text));
        }
        QCOMPARE(TFakePrompt::Showings.size(), 2);
        QCOMPARE(TFakePrompt::Showings[0].shown.Password, QStringLiteral("errada"));
        // Shown again with what was just entered, read back from the file.
        QCOMPARE(TFakePrompt::Showings[1].shown.Password, QStringLiteral("outra"));
        QCOMPARE(TFakePrompt::Showings[1].shown.User, QStringLiteral("SYSDBA"));
        QVERIFY(TFakePrompt::Showings[1].shown.Advanced);
        QCOMPARE(TFakePrompt::Created, 1);
        QCOMPARE(UnscrambleValue(Read(QStringLiteral("SENHA")), TRESVOLA), m_password);
        QVERIFY(m_db->Connected());
    }

    void cancelAtStartUpEndsTheProgram()
    {
        RequireServer();
        TIniFile(Settings()).WriteString(Section, QStringLiteral("IP"), m_host);
        QVERIFY(!m_manager->CheckSettingsFile(Settings()));
        TFakePrompt::Script = {std::nullopt};
        QVERIFY(!m_manager->Connect(false));
        QCOMPARE(TFakePrompt::Showings.size(), 1);
        QCOMPARE(TFakePrompt::Showings[0].shown.DatabasePath, LocalPath());
        QVERIFY(m_messages.isEmpty()); // no connection was tried
        QCOMPARE(m_endRequests, 1);

        // Cancelling while the database is open only returns false.
        WriteSettings({}, {}, false);
        QVERIFY(m_manager->Connect(false));
        TFakePrompt::Script = {std::nullopt};
        QVERIFY(!m_manager->Connect(true));
        QCOMPARE(m_endRequests, 1);
        QVERIFY(m_db->Connected());
    }

    void createQueryReadsOpenTabs()
    {
        RequireServer();
        WriteSettings({}, {}, false);
        QVERIFY(m_manager->Connect(false));
        const QString sql = QStringLiteral("SELECT COM_NUMERO FROM COMANDAS WHERE COM_TOTAL > 0");

        auto closed = m_manager->CreateQuery(sql, false);
        QCOMPARE(closed->SQL, QStringList{sql});
        QVERIFY(!closed->Active());
        QCOMPARE(closed->Database(), m_db.get());
        QCOMPARE(closed->Transaction(), m_tra.get());

        auto query = m_manager->CreateQuery(sql, true);
        QVERIFY(m_tra->Active());
        QCOMPARE(m_tra->Params, TKRDBManager::ErpTransactionParams());
        QList<qint32> numbers;
        for (query->First(); !query->Eof(); query->Next())
            numbers.append(query->FieldByNameAsInteger(QStringLiteral("COM_NUMERO")));
        QVERIFY(!numbers.isEmpty());
        QCOMPARE(query->RecordCount(), numbers.size());

        // The reference read, independent of the manager's query.
        TFbQuery check;
        check.SetDatabase(m_db.get());
        check.SetTransaction(m_tra.get());
        check.SQL = {QStringLiteral("SELECT COUNT(*) AS N FROM COMANDAS WHERE COM_TOTAL > 0")};
        check.Open();
        QCOMPARE(check.FieldByNameAsInteger(QStringLiteral("N")), numbers.size());

        m_manager->CommitRead();
        QVERIFY(!m_tra->Active());
        QVERIFY(m_db->Connected());
        // The next query starts the transaction again.
        QCOMPARE(m_manager->CreateQuery(sql, true)->RecordCount() > 0, true);
        QVERIFY(m_tra->Active());

        QVERIFY_THROWS_EXCEPTION(TFbError, m_manager->CreateQuery(QStringLiteral("SELECT NADA FROM NENHUMA"), true));
    }

    void reopenFromSettingsIsSilent()
    {
        RequireServer();
        WriteSettings({}, {}, false);
        QVERIFY(m_manager->Connect(false));
        m_db->Close();
        QString error;
        QVERIFY(m_manager->ReopenFromSettings(&error));
        QVERIFY(m_db->Connected());

        WriteSettings(QStringLiteral("SYSDBA"), QStringLiteral("errada"), true);
        QVERIFY(!m_manager->ReopenFromSettings(&error));
        QVERIFY(error.contains(QStringLiteral("user name and password")));
        TIniFile(Settings()).WriteString(Section, QStringLiteral("USUARIO"), QStringLiteral("ABCD"));
        QVERIFY(!m_manager->ReopenFromSettings(&error));
        QVERIFY(error.contains(QStringLiteral("USUARIO")));
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(TFakePrompt::Showings.size(), 0);
    }

    void badSettingsLoseNothing()
    {
        RequireServer();
        // A damaged stored user: a clear error, and the file keeps every byte.
        WriteSettings(QStringLiteral("SYSDBA"), m_password, true);
        TIniFile(Settings()).WriteString(Section, QStringLiteral("USUARIO"), QStringLiteral("ABCD"));
        const QByteArray before = FileBytes(Settings());
        try {
            m_manager->Connect(false);
            QFAIL("a damaged USUARIO was accepted");
        } catch (const KrError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("USUARIO")), qPrintable(e.message()));
        }
        QCOMPARE(FileBytes(Settings()), before);

        // A port that is not a number and a path that does not exist: the
        // server's refusal is shown and the prompt comes back.
        for (const auto &[port, path] : {std::pair{QStringLiteral("abc"), m_sample},
                                         std::pair{m_port, Folder() + QStringLiteral("nao/existe.fdb")}}) {
            cleanup();
            init();
            WriteSettings({}, {}, false);
            TIniFile(Settings()).WriteString(Section, QStringLiteral("PORTA"), port);
            TIniFile(Settings()).WriteString(Section, QStringLiteral("LOCAL"), path);
            const QByteArray kept = FileBytes(Settings());
            TFakePrompt::Script = {std::nullopt};
            QVERIFY(!m_manager->Connect(false));
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(m_messages[0].title, QStringLiteral("Erro ao conectar"));
            QVERIFY(!m_messages[0].text.isEmpty());
            QCOMPARE(TFakePrompt::Showings.size(), 1);
            QCOMPARE(FileBytes(Settings()), kept);
        }
    }

    void unstorableCredentialsAreRefused()
    {
        RequireServer();
        WriteSettings({}, {}, false);
        const QByteArray before = FileBytes(Settings());
        const TConnectEntries typed =
            Entries(m_host, m_sample, m_port, QStringLiteral("jos\u00e9"), QStringLiteral("sen\u20acha"), true);
        TFakePrompt::Script = {typed, std::nullopt};
        QVERIFY(!m_manager->Connect(true));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].text.contains(QStringLiteral("\u20ac")));
        QCOMPARE(FileBytes(Settings()), before);
        // The prompt came back with what was typed, not with the file.
        QCOMPARE(TFakePrompt::Showings.size(), 2);
        QCOMPARE(TFakePrompt::Showings[1].shown.Password, typed.Password);
        QCOMPARE(TFakePrompt::Showings[1].shown.User, typed.User);

        QCOMPARE(UnstorableCredentialChar(QStringLiteral("abc\u00fe")), QChar());
        QCOMPARE(UnstorableCredentialChar(QString(QChar(0xFF))), QChar(0xFF));
        QCOMPARE(UnstorableCredentialChar(QString(QChar(0))), QChar(0));
    }

    void noPromptInstalled()
    {
        SetConnectPromptFactory({});
        QVERIFY_THROWS_EXCEPTION(KrError, m_manager->Connect(true));
    }
};

DBTEST_GUILESS_MAIN(TstKrDatabase)
#include "tst_kr_database.moc"
