#include "app/app_env.h"
#include "app/form_principal.h"
#include "app/single_instance.h"
#include "app/termination_signals.h"
#include "sync/event_log.h"
#include "erp/fb_client.h"
#include "erp/kr_database_formconnect.h"
#include "uikit/kr_error_box.h"
#include "uikit/kr_dialog_form.h"
#include "uikit/kr_message.h"

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
    QuitOnTerminationSignals();

    // One program per installation: a second start shows the first and ends.
    TSingleInstance instance(ExecutableFolder());
    if (!instance.Claim())
        return 0;
    LogEvent(QStringLiteral("Programa iniciado: ") + QCoreApplication::arguments().join(QLatin1Char(' ')));

    // Without the Firebird client nothing here can work, and the connection
    // prompt would only fail again: say which file is missing and end.
    if (const QString missing = FbClientError(); !missing.isEmpty()) {
        LogEvent(missing);
        ShowErrorMessage(QStringLiteral("Erro"), missing);
        LogEvent(QStringLiteral("Programa encerrado."));
        return 1;
    }

    TFrmPrincipal form;
    QObject::connect(&instance, &TSingleInstance::activationRequested, &form, [&form] {
        form.TIDblClick();
        if (form.isMinimized())
            form.showNormal();
        form.raise();
        form.activateWindow();
    });
    QObject::connect(&form, &TFrmPrincipal::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    form.ShowAtStart();
    const int status = app.exec();
    LogEvent(QStringLiteral("Programa encerrado."));
    return status;
}
