#pragma once
// The way to the host ERP's Firebird database: where it lives (section IBCONFIG
// of the ERP product's settings file, shared with the ERP itself), opening it,
// asking the user through the connection prompt when that fails, and the
// queries the cycle runs on the shared connection and transaction.
#include "erp/erp_reader.h"
#include "erp/fb_client.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>

// What the connection prompt shows and hands back, one value per field.
struct TConnectEntries {
    QString Host;          // EdtIP
    QString DatabasePath;  // EdtLocal
    QString Port;          // EdtPorta
    QString User;          // EdtUsuario, plain
    QString Password;      // EdtSenha, plain
    bool Advanced = false; // CkConfig
};

// The Firebird connection string: host ":" path, or host "/" port ":" path
// when a port is given (blank counts as none).
QString ErpConnectionString(const QString &host, const QString &port, const QString &databasePath);

// The connection prompt as the manager sees it. The widget layer implements
// it; the manager never includes widgets.
class IConnectPrompt
{
public:
    virtual ~IConnectPrompt() = default;

    // Set before every showing.
    QString SettingsFile;
    QString DefaultDatabaseFile;
    TFbDatabase *Database = nullptr;

    // The next showing starts from these values instead of the settings file
    // (once); used when what the user typed could not be saved.
    void PresetEntries(const TConnectEntries &entries) { m_preset = entries; m_hasPreset = true; }

    // Shows the prompt modally, filled from SettingsFile (or the preset);
    // true for OK, false for Cancel, Esc or the close box. A stored user or
    // password that does not unscramble raises KrError.
    virtual bool Execute() = 0;
    // The fields as they were when the prompt was closed.
    virtual TConnectEntries Entries() const = 0;

protected:
    // The values the showing starts from; clears the preset.
    TConnectEntries EntriesToShow();

private:
    TConnectEntries m_preset;
    bool m_hasPreset = false;
};

using TConnectPromptFactory = std::function<std::unique_ptr<IConnectPrompt>()>;
// Installed by the program entry (InstallConnectPrompt) or by tests.
void SetConnectPromptFactory(TConnectPromptFactory factory);

// The executable's folder, "Dados", the platform's separator and the file name.
QString LocalDatabasePath(const QString &defaultDatabaseFile);
// Whether the path names an existing file on this computer.
bool LocalFileExists(const QString &path);
// The prompt's fields as the settings file gives them, without writing to it:
// defaults for missing keys, user and password unscrambled.
TConnectEntries LoadConnectEntries(const QString &settingsFile, const QString &defaultDatabaseFile);
// The first character that would not come back unchanged after scrambling
// (codes 0 and above 254), or a null QChar when there is none.
QChar UnstorableCredentialChar(const QString &text);

class TKRDBManager
{
public:
    TKRDBManager() = default;
    ~TKRDBManager() = default;
    TKRDBManager(const TKRDBManager &) = delete;
    TKRDBManager &operator=(const TKRDBManager &) = delete;

    TFbDatabase *Database = nullptr;       // not owned
    TFbTransaction *Transaction = nullptr; // not owned
    QString DefaultDatabaseFile;
    QString SettingsFile;

    // The ERP is only read, and a transaction that stays open holds back the
    // ERP's garbage collection: read-only, committed after every read.
    static QStringList ErpTransactionParams();
    // The attachment's parameters before the settings file fills in the user
    // and password.
    static QStringList DefaultDatabaseParams();

    // A query on Database and Transaction, opened when open is true (which
    // starts the transaction when needed). Errors while opening pass on.
    std::unique_ptr<TFbQuery> CreateQuery(const QString &sql, bool open);
    // Ends the read started by CreateQuery, once its rows have been read.
    void CommitRead();

    // True when Database is open at the end; shows the prompt when the stored
    // settings are not enough or fail, or at once with forceDialog.
    bool Connect(bool forceDialog);
    // The prompt at the user's request while the program runs: saves what OK
    // leaves and opens nothing (the engine attaches on its own thread).
    // False on Cancel, which never ends the program.
    bool EditSettings();
    // For a server that restarted: opens again from the settings Connect used,
    // with no prompt and no message; the error's text goes to *error.
    bool ReopenFromSettings(QString *error);
    // What Connect would open, from the settings file (completed as Connect
    // completes it), without opening anything: for a start that must not
    // wait for anyone and attaches later, on the engine's thread.
    TErpSettings SettingsForEngine();

    bool CheckSettingsFile(const QString &path);
    bool OpenFromSettings(const QString &path);
    void SaveSettings(const QString &path, const QString &host, const QString &databasePath, const QString &port,
                      const QString &user, const QString &password, bool advanced);

    // The settings path Connect uses: SettingsFile or the executable's path
    // with ".ini", unless the first argument is "CFG=<path>".
    QString EffectiveSettingsPath() const;

    // What cancelling the prompt without a connection does; tests replace it.
    std::function<void()> EndApplication;
    // The text of the box a failed open shows before the prompt. The window
    // hands over the program's failure wording with BDA and TRA; without it
    // the box shows the client's own text.
    std::function<QString(const QString &address, const std::exception &error)> DescribeOpenFailure;

private:
    // Reads and completes the section, then configures the closed Database.
    void ApplySettings(const QString &path);
    bool OpenDatabase(QString *error);
    // Shows the prompt until OK leaves storable entries, and saves them;
    // false on Cancel.
    bool AskAndSave(IConnectPrompt &prompt, const QString &path);
    TFbDatabase &RequireDatabase() const;
};

extern TKRDBManager DBManager;
