#include "sync/turnstile_settings.h"

#include "app/app_env.h"
#include "erp/kr_inifile.h"
#include "uikit/kr_error.h"

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
    if (!QFileInfo::exists(path)) {
        // Created empty with owner-only rights before anything is written;
        // the INI store keeps a file's permissions when it rewrites it.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            throw KrError(QStringLiteral("Não foi possível criar o arquivo '%1': %2").arg(path, file.errorString()));
    }
    for (std::size_t i = 0; i < SettingKeys.size(); ++i)
        SaveConfigFile(path, SettingsSection, SettingKeys[i].key, values[i]);
}

QStringList LoadConnectionParams(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw KrError(QStringLiteral("Driver/Connection Registry File '%1' not found").arg(path));
    if (!info.isReadable())
        throw KrError(QStringLiteral("Não foi possível ler o arquivo '%1'.").arg(path));
    // The MySQL client needs only these five; a missing one is left to the
    // client's default, as an absent entry would be.
    const TIniFile ini(path);
    QStringList params;
    for (const TSettingKey &k : SettingKeys) {
        if (ini.ValueExists(SettingsSection, k.key))
            params << k.key + QLatin1Char('=')
                          + LoadConfigFile(path, SettingsSection, k.key, QString()).toString();
    }
    if (params.isEmpty())
        throw KrError(QStringLiteral("A seção [%1] do arquivo '%2' não tem os dados de conexão.")
                          .arg(SettingsSection, path));
    return params;
}

} // namespace turnstile
