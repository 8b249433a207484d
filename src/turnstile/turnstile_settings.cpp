#include "turnstile/turnstile_settings.h"

#include "base/kr_error.h"
#include "base/kr_inifile.h"
#include "system/app_env.h"

#include <QFile>
#include <QFileInfo>

namespace turnstile {

QString ArquivoConexao()
{
    return ExecutableFolder() + SettingsFileName;
}

TSettingValues LoadSettings(const QString &path)
{
    TSettingValues values;
    for (std::size_t i = 0; i < SettingKeys.size(); ++i)
        values[i] = LoadConfigFile(path, SettingsSection, SettingKeys[i].key, SettingKeys[i].def).toString();
    return values;
}

void SaveSettings(const QString &path, const TSettingValues &values)
{
    // One replacement with all five keys: a file cut short between keys would
    // connect with other values than the window shows.
    TIniBatch batch(path);
    for (std::size_t i = 0; i < SettingKeys.size(); ++i)
        batch.WriteValue(SettingsSection, SettingKeys[i].key, values[i]);
    // It holds a password in clear text.
    batch.SetNewFilePermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    batch.Commit();
}

QStringList LoadConnectionParams(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw TSettingsFileMissing(QStringLiteral("Driver/Connection Registry File '%1' not found").arg(path));
    if (!info.isReadable())
        throw KrError(QStringLiteral("Não foi possível ler o arquivo '%1'.").arg(path));
    // A missing key takes the default the window shows for it: left out, the
    // client library would put its own in (the system login as the user).
    const TSettingValues values = LoadSettings(path);
    QStringList params;
    for (std::size_t i = 0; i < SettingKeys.size(); ++i)
        params << SettingKeys[i].key + QLatin1Char('=') + values[i];
    return params;
}

QStringList LoadWrittenConnectionParams(const QString &path, QByteArray &lastLook)
{
    // Far above any real settings file: a file that large is not one.
    constexpr qint64 Limit = 64 * 1024;
    QByteArray look;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        look = file.read(Limit);
    // Empty, or with the zeros of space set aside before the bytes arrive
    // (which a UTF-16 file has between its letters): not written yet.
    const bool zeros = !look.startsWith("\xFF\xFE") && look.contains('\0');
    const bool whole = !look.isEmpty() && !zeros && look == lastLook;
    lastLook = look;
    if (!whole)
        throw TSettingsFileMissing(QStringLiteral("Driver/Connection Registry File '%1' not found").arg(path));
    return LoadConnectionParams(path);
}

} // namespace turnstile
