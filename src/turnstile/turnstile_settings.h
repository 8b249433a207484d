#pragma once
// The turnstile connection's settings: dbxconnections.ini beside the
// executable, section [MySQL]. Nothing is kept in memory; every connect reads
// the file as it stands.
#include "base/kr_error.h"
#include "engine/failure_kind.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

namespace turnstile {

inline const QString SettingsFileName = QStringLiteral("dbxconnections.ini");
inline const QString SettingsSection = QStringLiteral("MySQL");

struct TSettingKey {
    QString key;
    QString def;
};

// In the order the fields are read, written and shown.
inline const std::array<TSettingKey, 5> SettingKeys = {{
    {QStringLiteral("HostName"), QStringLiteral("127.0.0.1")},
    {QStringLiteral("Port"), QStringLiteral("3307")},
    {QStringLiteral("Database"), QStringLiteral("catraca")},
    {QStringLiteral("User_Name"), QStringLiteral("catraca")},
    {QStringLiteral("Password"), QStringLiteral("tur07")},
}};

// The five values, in the order of SettingKeys.
using TSettingValues = std::array<QString, 5>;

// The settings file is not there, or not whole yet.
class TSettingsFileMissing : public KrError, public IClassifiedFailure
{
public:
    using KrError::KrError;
    TFailureKind Kind(TFailureStage) const override { return TFailureKind::SettingsFileMissing; }
};

// The settings file's full path, in the executable's folder.
QString ArquivoConexao();

// Each key with its default where missing. Never creates or writes the file.
TSettingValues LoadSettings(const QString &path);

// Writes all five values as given (no trimming), in one replacement of the
// file: all five or, on failure, none. A file that does not exist yet is
// created readable and writable by its owner only: it holds a password in
// clear text.
void SaveSettings(const QString &path, const TSettingValues &values);

// The connection parameters ("Key=Value") of the five keys as the file stands,
// each missing one with its default, as the window shows it. Raises
// TSettingsFileMissing when the file is missing ("Driver/Connection Registry
// File '<path>' not found"), KrError when it cannot be read.
QStringList LoadConnectionParams(const QString &path);

// The same for a file that may still be in the making (copied in, or written
// by an installer or an editor): taken only once two looks in a row, the one
// before remembered in lastLook, found the same whole bytes; until then it
// counts as missing. A file another program holds open for writing cannot be
// read on Windows, and counts as missing too.
QStringList LoadWrittenConnectionParams(const QString &path, QByteArray &lastLook);

} // namespace turnstile
