// Shows the ERP connection dialog, collapsed or expanded, on the current
// display, for scripts/connect-dialog-screenshots.sh to capture. It runs in a
// scratch installation folder, so the user's theme settings are the defaults.
// "placed": where the program places it (centred on the work area), rather
// than at the top left for a cropped image.
//   connect_dialog_gallery collapsed|expanded [placed]
#include "app/app_fonts.h"
#include "app/kr_database_formconnect.h"
#include "base/kr_inifile.h"
#include "erp/kr_scramble.h"
#include "system/app_env.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The faces the program itself uses.
    UseDesignFonts();
    const bool expanded = argc > 1 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("expanded");
    const bool placed = argc > 2 && QString::fromLocal8Bit(argv[2]) == QStringLiteral("placed");
    QTemporaryDir folder;
    SetExecutableFolderForTesting(folder.path());

    const QString settings = folder.path() + QStringLiteral("/conexao.ini");
    TIniFile ini(settings);
    const QString section = QStringLiteral("IBCONFIG");
    ini.WriteString(section, QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    ini.WriteString(section, QStringLiteral("LOCAL"), QStringLiteral("C:\\Norva\\Dados\\DBEMPRESA.FDB"));
    ini.WriteString(section, QStringLiteral("PORTA"), QStringLiteral("3050"));
    ini.WriteString(section, QStringLiteral("USUARIO"), ScrambleValue(QStringLiteral("SYSDBA"), TRESVOLA));
    ini.WriteString(section, QStringLiteral("SENHA"), ScrambleValue(QStringLiteral("vellowtip"), TRESVOLA));
    ini.WriteBool(section, QStringLiteral("USACONFIG"), true);

    TFrmKRDBConnect form;
    form.SettingsFile = settings;
    form.DefaultDatabaseFile = QStringLiteral("DBEMPRESA.FDB");
    form.FormShow();
    if (!placed)
        form.move(20, 20);
    form.show();
    if (expanded) {
        form.SpeedButton1Click();
        if (!placed)
            form.move(20, 20);
    }
    if (placed) {
        // Execute's horizontal centring, which this gallery does not run.
        const QRect area = form.screen()->availableGeometry();
        form.move(area.x() + (area.width() - form.frameGeometry().width()) / 2, form.y());
    }
    return app.exec();
}
