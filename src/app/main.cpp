#include "app/form_principal.h"
#include "erp/kr_database_formconnect.h"
#include "uikit/kr_error_box.h"
#include "uikit/kr_dialog_form.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The name, not the display name: Linux window managers would append a
    // display name to every caption.
    QApplication::setApplicationName(QStringLiteral("Integração com Catracas Ovrex/Miravel"));
    // The program ends when its window closes, and only then: neither hiding
    // to the tray nor closing a message while the window is hidden ends it.
    app.setQuitOnLastWindowClosed(false);
    InstallTopLevelErrorBox();
    InstallMessageDialog();
    InstallConnectPrompt();

    TFrmPrincipal form;
    QObject::connect(&form, &TFrmPrincipal::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    form.ShowAtStart();
    return app.exec();
}
