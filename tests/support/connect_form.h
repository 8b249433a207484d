#pragma once
// The connection dialog as the manager prepares it before a showing.
#include "app/kr_database_formconnect.h"

#include <memory>

inline std::unique_ptr<TFrmKRDBConnect> NewConnectForm(const QString &settingsFile)
{
    auto form = std::make_unique<TFrmKRDBConnect>();
    form->SettingsFile = settingsFile;
    form->DefaultDatabaseFile = QStringLiteral("DBEMPRESA.FDB");
    return form;
}
