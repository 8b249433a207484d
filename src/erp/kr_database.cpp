#include "erp/kr_database.h"

#include "base/kr_error.h"
#include "base/kr_inifile.h"
#include "erp/kr_scramble.h"
#include "system/app_env.h"
#include "system/kr_message.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

TKRDBManager DBManager;

namespace {

const QString Section = QStringLiteral("IBCONFIG");
const QString KeyIP = QStringLiteral("IP");
const QString KeyLocal = QStringLiteral("LOCAL");
const QString KeyUsuario = QStringLiteral("USUARIO");
const QString KeySenha = QStringLiteral("SENHA");
const QString KeyPorta = QStringLiteral("PORTA");
const QString KeyUsaConfig = QStringLiteral("USACONFIG");
const QString LocalHost = QStringLiteral("127.0.0.1");

TConnectPromptFactory &promptFactory()
{
    static TConnectPromptFactory factory;
    return factory;
}

// The damaged value stays in the file untouched; the message says which key
// to repair instead of the bare conversion error.
QString readCredential(const TIniFile &ini, const QString &key)
{
    const QString stored = ini.ReadString(Section, key, QString());
    try {
        return UnscrambleValue(stored, TRESVOLA);
    } catch (const KrError &e) {
        throw KrError(QStringLiteral("O valor da chave %1 da seção %2 de %3 está danificado e não pode ser lido (%4).")
                          .arg(key, Section, ini.FileName(), e.message()));
    }
}

// Delphi's ChangeFileExt: the extension after the last dot of the file name.
QString withIniExtension(const QString &path)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QDir::separator()));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > slash ? path.left(dot) : path;
    return base + QStringLiteral(".ini");
}

} // namespace

QString ErpConnectionString(const QString &host, const QString &port, const QString &databasePath)
{
    if (port.trimmed().isEmpty())
        return host + QLatin1Char(':') + databasePath;
    return host + QLatin1Char('/') + port + QLatin1Char(':') + databasePath;
}

TConnectEntries IConnectPrompt::EntriesToShow()
{
    if (m_hasPreset) {
        m_hasPreset = false;
        return m_preset;
    }
    return LoadConnectEntries(SettingsFile, DefaultDatabaseFile);
}

void SetConnectPromptFactory(TConnectPromptFactory factory)
{
    promptFactory() = std::move(factory);
}

QString LocalDatabasePath(const QString &defaultDatabaseFile)
{
    return ExecutableFolder() + QStringLiteral("Dados") + QDir::separator() + defaultDatabaseFile;
}

bool LocalFileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

TConnectEntries LoadConnectEntries(const QString &settingsFile, const QString &defaultDatabaseFile)
{
    const TIniFile ini(settingsFile);
    TConnectEntries entries;
    entries.Host = ini.ReadString(Section, KeyIP, LocalHost);
    entries.DatabasePath = ini.ReadString(Section, KeyLocal, LocalDatabasePath(defaultDatabaseFile));
    entries.Port = ini.ReadString(Section, KeyPorta, QString());
    entries.User = readCredential(ini, KeyUsuario);
    entries.Password = readCredential(ini, KeySenha);
    entries.Advanced = ini.ReadBool(Section, KeyUsaConfig, false);
    return entries;
}

QChar UnstorableCredentialChar(const QString &text)
{
    // Scrambling works modulo 255: code 0 comes back as 255, codes above 254
    // lose their high part, and 255 depends on the random start value.
    for (const QChar c : text) {
        if (c.unicode() == 0 || c.unicode() > 254)
            return c;
    }
    return QChar();
}

QStringList TKRDBManager::ErpTransactionParams()
{
    return {QStringLiteral("read_committed"), QStringLiteral("rec_version"), QStringLiteral("nowait"),
            QStringLiteral("read")};
}

QStringList TKRDBManager::DefaultDatabaseParams()
{
    return {QStringLiteral("user_name=sysdba"), QStringLiteral("password=vellowtip"), QStringLiteral("lc_ctype=WIN1252")};
}

TErpSettings TKRDBManager::SettingsForEngine()
{
    TFbDatabase scratch;
    scratch.Params = Database ? Database->Params : DefaultDatabaseParams();
    TFbDatabase *const own = Database;
    Database = &scratch;
    try {
        ApplySettings(EffectiveSettingsPath());
    } catch (...) {
        Database = own;
        throw;
    }
    Database = own;
    return {scratch.DatabaseName, scratch.Params};
}

TFbDatabase &TKRDBManager::RequireDatabase() const
{
    if (!Database)
        throw KrError(QStringLiteral("A conexão com o banco de dados do ERP não foi definida."));
    return *Database;
}

std::unique_ptr<TFbQuery> TKRDBManager::CreateQuery(const QString &sql, bool open)
{
    auto query = std::make_unique<TFbQuery>();
    query->SetDatabase(Database);
    query->SetTransaction(Transaction);
    if (Transaction && !Transaction->Active())
        Transaction->Params = ErpTransactionParams();
    query->SQL.clear();
    query->SQL.append(sql);
    if (open)
        query->Open();
    return query;
}

void TKRDBManager::CommitRead()
{
    if (Transaction && Transaction->Active())
        Transaction->Commit();
}

QString TKRDBManager::EffectiveSettingsPath() const
{
    QString path = SettingsFile.isEmpty() ? withIniExtension(ExecutablePath()) : SettingsFile;
    const QString argument = FirstArgument();
    if (!argument.isEmpty() && argument.left(4).toUpper() == QStringLiteral("CFG="))
        path = argument.mid(4);
    return path;
}

bool TKRDBManager::Connect(bool forceDialog)
{
    const QString path = EffectiveSettingsPath();

    const TConnectPromptFactory &factory = promptFactory();
    if (!factory)
        throw KrError(QStringLiteral("O formulário de conexão com o banco de dados não está disponível."));
    // Created on every call, also when the stored settings work.
    std::unique_ptr<IConnectPrompt> prompt = factory();

    if (!forceDialog && CheckSettingsFile(path) && OpenFromSettings(path))
        return true;

    for (;;) {
        // An end asked for while a start-up box showed: no prompt after it.
        if (ApplicationEndRequested())
            return false;
        if (!AskAndSave(*prompt, path)) {
            if (!RequireDatabase().Connected()) {
                if (EndApplication)
                    EndApplication();
                else
                    RequestApplicationEnd();
            }
            return false;
        }
        if (OpenFromSettings(path))
            return true;
    }
}

bool TKRDBManager::AskAndSave(IConnectPrompt &prompt, const QString &path)
{
    for (;;) {
        prompt.SettingsFile = path;
        prompt.DefaultDatabaseFile = DefaultDatabaseFile;
        prompt.Database = Database;
        if (!prompt.Execute())
            return false;

        const TConnectEntries entries = prompt.Entries();
        // A credential that would come back changed is refused before anything
        // is saved, so the file never holds a damaged user or password.
        QChar bad = UnstorableCredentialChar(entries.User);
        if (bad.isNull())
            bad = UnstorableCredentialChar(entries.Password);
        if (!bad.isNull()) {
            ShowErrorMessage(QStringLiteral("Erro"),
                             QStringLiteral("O usuário e a senha não podem conter o caractere \"%1\" (código %2). "
                                            "Digite-os novamente.")
                                 .arg(bad.unicode() == 0 ? QString() : QString(bad))
                                 .arg(bad.unicode()));
            prompt.PresetEntries(entries);
            continue;
        }

        SaveSettings(path, entries.Host, entries.DatabasePath, entries.Port, ScrambleValue(entries.User, TRESVOLA),
                     ScrambleValue(entries.Password, TRESVOLA), entries.Advanced);
        return true;
    }
}

bool TKRDBManager::EditSettings()
{
    const TConnectPromptFactory &factory = promptFactory();
    if (!factory)
        throw KrError(QStringLiteral("O formulário de conexão com o banco de dados não está disponível."));
    std::unique_ptr<IConnectPrompt> prompt = factory();
    return AskAndSave(*prompt, EffectiveSettingsPath());
}

bool TKRDBManager::CheckSettingsFile(const QString &path)
{
    if (LocalFileExists(LocalDatabasePath(DefaultDatabaseFile)))
        return true;
    if (!LocalFileExists(path))
        return false;
    const TIniFile ini(path);
    return ini.ValueExists(Section, KeyIP) && ini.ValueExists(Section, KeyLocal);
}

void TKRDBManager::ApplySettings(const QString &path)
{
    TFbDatabase &database = RequireDatabase();
    const QString localPath = LocalDatabasePath(DefaultDatabaseFile);

    // The missing keys are completed in one replacement of the file, which the
    // ERP shares: an interruption leaves it as it was or complete.
    {
        const TIniFile current(path);
        TIniBatch completion(path);
        if (current.ReadString(Section, KeyIP, LocalHost).trimmed().isEmpty())
            completion.WriteString(Section, KeyIP, LocalHost);
        else
            completion.WriteStringIfAbsent(Section, KeyIP, LocalHost);
        completion.WriteStringIfAbsent(Section, KeyLocal, localPath);
        completion.WriteStringIfAbsent(Section, KeyUsuario, QString());
        completion.WriteStringIfAbsent(Section, KeySenha, QString());
        completion.WriteStringIfAbsent(Section, KeyPorta, QString());
        completion.WriteBoolIfAbsent(Section, KeyUsaConfig, false);
        completion.Commit();
    }
    const TIniFile ini(path);
    QString host = ini.ReadString(Section, KeyIP, LocalHost);
    if (host.trimmed().isEmpty())
        host = LocalHost;
    const QString databasePath = ini.ReadString(Section, KeyLocal, localPath);
    const QString user = readCredential(ini, KeyUsuario);
    const QString password = readCredential(ini, KeySenha);
    const QString port = ini.ReadString(Section, KeyPorta, QString());
    const bool advanced = ini.ReadBool(Section, KeyUsaConfig, false);

    if (database.Params.size() < 2)
        throw KrError(QStringLiteral("Os parâmetros da conexão com o banco de dados do ERP estão incompletos."));

    database.CloseDataSets();
    database.Close();

    database.DatabaseName = ErpConnectionString(host, port, databasePath);
    database.Params[0] = QStringLiteral("user_name=") + (advanced ? user : QStringLiteral("SYSDBA"));
    database.Params[1] = QStringLiteral("password=") + (advanced ? password : QStringLiteral("vellowtip"));
    if (!database.Params.join(QLatin1Char('\n')).contains(QStringLiteral("lc_ctype")))
        database.Params.append(QStringLiteral("lc_ctype=win1252"));
}

bool TKRDBManager::OpenDatabase(QString *error)
{
    try {
        RequireDatabase().Open();
        return true;
    } catch (const std::exception &e) {
        if (error)
            *error = ErrorMessageOf(e);
        return false;
    }
}

bool TKRDBManager::OpenFromSettings(const QString &path)
{
    ApplySettings(path);
    TFbDatabase &database = RequireDatabase();
    try {
        database.Open();
        return true;
    } catch (const std::exception &e) {
        // The box waits for the user, who then decides: nothing is retried
        // behind it.
        ShowErrorMessage(QStringLiteral("Erro ao conectar"), DescribeOpenFailure
                                                                 ? DescribeOpenFailure(database.DatabaseName, e)
                                                                 : ErrorMessageOf(e));
        return false;
    }
}

bool TKRDBManager::ReopenFromSettings(QString *error)
{
    try {
        ApplySettings(EffectiveSettingsPath());
    } catch (const std::exception &e) {
        if (error)
            *error = ErrorMessageOf(e);
        return false;
    }
    return OpenDatabase(error);
}

void TKRDBManager::SaveSettings(const QString &path, const QString &host, const QString &databasePath,
                                const QString &port, const QString &user, const QString &password, bool advanced)
{
    // One replacement with all six keys: the next start never finds the host of
    // one answer with the path or the credentials of another.
    TIniBatch batch(path);
    batch.WriteString(Section, KeyIP, host);
    batch.WriteString(Section, KeyLocal, databasePath);
    batch.WriteString(Section, KeyPorta, port);
    batch.WriteString(Section, KeyUsuario, user);
    batch.WriteString(Section, KeySenha, password);
    batch.WriteBool(Section, KeyUsaConfig, advanced);
    batch.Commit();
}
