#include "app/app_fonts.h"
#include "app/client_ports.h"
#include "app/console_noise.h"
#include "app/form_principal.h"
#include "app/kr_database_formconnect.h"
#include "app/product_detection.h"
#include "app/single_instance.h"
#include "app/termination_signals.h"
#include "engine/event_log.h"
#include "engine/sync_engine.h"
#include "erp/fb_client.h"
#include "erp/kr_database.h"
#include "system/app_env.h"
#include "system/autostart.h"
#include "system/kr_message.h"
#include "turnstile/turnstile_settings.h"
#include "uikit/kr_dialog_form.h"
#include "uikit/kr_error_box.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int ShutdownWaitMs = 1500;

bool g_mainLoopRunning = false;
// What the end of the Windows session must close: the window, when there is
// one, and the engine.
TFrmPrincipal *g_form = nullptr;
TSyncService *g_sync = nullptr;

// Ends at once, with status 0: for a termination request before the event
// loop runs, and for an engine still inside a call to a silent server. The
// operating system closes the sockets; the database client's own exit
// handlers, which crash or hang on an attachment to a dead server, are skipped.
[[noreturn]] void EndImmediately(const QString &why)
{
    LogEvent(why);
    LogEvent(QStringLiteral("Programa encerrado."));
    std::fflush(nullptr);
    EndProcessNow(0);
}

void HandleTermination()
{
    if (g_mainLoopRunning) {
        LogEvent(QStringLiteral("Pedido de encerramento recebido."));
        // Leaves every loop, also the one of a box that is open.
        QCoreApplication::quit();
        return;
    }
    EndImmediately(QStringLiteral("Pedido de encerramento recebido durante a inicialização."));
}

// The same end as "Fechar ESC", made inside the end-of-session message,
// which Windows answers by ending the process: what was typed is saved, the
// engine stops, the log says why.
[[noreturn]] void EndWithSession()
{
    LogEvent(QStringLiteral("Fim da sessão do Windows (saída do usuário ou desligamento): o programa será encerrado."));
    if (g_form)
        g_form->BtnFecharClick();
    if (g_sync && !g_sync->Shutdown(ShutdownWaitMs))
        LogEvent(QStringLiteral("O mecanismo de sincronização não terminou a tempo."));
    LogEvent(QStringLiteral("Programa encerrado."));
    std::fflush(nullptr);
    EndProcessNow(0);
}

class TSessionEndFilter final : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray &, void *message, qintptr *) override
    {
        return HandleSessionEndMessage(message);
    }
};

// An end asked for during start-up ("Sair", the close box, the ERP prompt's
// Cancel) is not followed by the main loop: start-up stops, the program ends.
int RunLoop(QCoreApplication &app, TSyncService &sync)
{
    g_sync = &sync;
    g_mainLoopRunning = true;
    const int status = ApplicationEndRequested() ? 0 : app.exec();
    g_mainLoopRunning = false;
    if (!sync.Shutdown(ShutdownWaitMs))
        EndImmediately(QStringLiteral("O mecanismo de sincronização não terminou a tempo."));
    LogEvent(QStringLiteral("Programa encerrado."));
    return status;
}

// The engine alone, for a machine without a desktop: the same settings files,
// connecting by itself as a start with the system does, reporting on
// standard error and in the log file.
int RunHeadless(QCoreApplication &app)
{
    LogEvent(QStringLiteral("Programa iniciado sem janela: ") + QCoreApplication::arguments().join(QLatin1Char(' ')));
    const TProdutoDetectado product = DetectProduct(ExecutableFolder());
    if (product.Path.isEmpty() || !QFileInfo(product.Path).isFile()) {
        LogEvent(QStringLiteral("Coloque este programa na pasta de instalação do seu sistema Norva para que ele "
                                "possa conectar-se a base de dados!"));
        return 1;
    }
    DBManager.DefaultDatabaseFile = QStringLiteral("DBEMPRESA.FDB");
    DBManager.SettingsFile = product.Path;
    if (const QString missing = FbClientError(); !missing.isEmpty()) {
        LogEvent(missing);
        return 1;
    }
    LogEvent(FbClientLoadedText());
    TErpSettings erp;
    try {
        erp = DBManager.SettingsForEngine();
    } catch (const std::exception &e) {
        LogEvent(QStringLiteral("Configuração do banco de dados do ERP: ") + ErrorMessageOf(e));
        return 1;
    }
    // Nobody is there to fill the window's fields: without readable turnstile
    // settings there is nothing to connect with, and retrying cannot help.
    try {
        turnstile::LoadConnectionParams(turnstile::ArquivoConexao());
    } catch (const std::exception &e) {
        LogEvent(QStringLiteral("Sem as configurações da catraca o programa não pode sincronizar: %1. Configure a "
                                "conexão com a catraca na janela do programa (ou corrija o arquivo %2) e inicie-o "
                                "de novo.")
                     .arg(ErrorMessageOf(e), turnstile::SettingsFileName));
        return 1;
    }
    TSyncService sync(ClientPorts());
    sync.SetErpSettingsSource([] { return DBManager.SettingsForEngine(); });
    sync.Start(erp.DatabaseName, erp.Params);
    sync.ConnectTurnstile(turnstile::ArquivoConexao());
    return RunLoop(app, sync);
}

// The elevated half of "Iniciar com o Windows" for a program that runs
// without administrator rights: started by itself through Windows' prompt, it
// changes the start-up entry, says by its status whether that worked and
// ends, before any window, lock or log.
int RunStartupEntryRequest(int argc, char **argv)
{
    const QCoreApplication app(argc, argv);
    std::vector<std::wstring> arguments;
    for (const QString &argument : QCoreApplication::arguments().mid(2))
        arguments.push_back(argument.toStdWString());
    return platform::RunStartupEntryRequest(
        arguments, ExecutablePath().toStdWString());
}

// Qt's own texts (a field's right-click menu, key names) in Portuguese, as
// the rest of the program: Qt's catalogue from the program's translations
// folder (where the Windows installation keeps it) or Qt's own (Linux).
// Empty when loaded, else what to write in the log.
QString UseQtPortuguese(QCoreApplication &app)
{
    static QTranslator translator;
    const QString name = QStringLiteral("qtbase_pt_BR");
    for (const QString &folder : {ExecutableFolder() + QStringLiteral("translations"),
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (translator.load(name, folder)) {
            app.installTranslator(&translator);
            return {};
        }
    }
    return QStringLiteral("Tradução do Qt (%1.qm) não encontrada: os menus próprios do Qt ficam em inglês.").arg(name);
}

bool IsHeadless(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--headless") == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == QString::fromWCharArray(platform::StartupEntrySwitch))
        return RunStartupEntryRequest(argc, argv);
    const bool headless = IsHeadless(argc, argv);
    // Before the platform plugin loads: it speaks while it starts.
    InstallConsoleFilter();
    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    if (!headless)
        UseDesignFonts();
    const QString translationProblem = UseQtPortuguese(*app);
    // The name, not the display name: Linux window managers would append a
    // display name to every caption.
    QCoreApplication::setApplicationName(QStringLiteral("Integração com Catracas Ovrex/Miravel"));
    SettleFbClientSignalHandlers();
    if (headless)
        UseParentConsole();
    OnTerminationSignals(HandleTermination);
    OnSessionEnd(EndWithSession);
    TSessionEndFilter sessionEndFilter;
    app->installNativeEventFilter(&sessionEndFilter);

    // One program per installation: a second start shows the first and ends.
    TSingleInstance instance(ExecutableFolder());
    if (!instance.Claim()) {
        // Said in the log, so that a start that seems to do nothing can be
        // explained the next morning.
        LogEvent(QStringLiteral("Este início termina: ") + instance.RefusalReason() + QLatin1Char('.'));
        return instance.LockFailed() ? 1 : 0;
    }
    if (headless)
        return RunHeadless(*app);

    auto *gui = static_cast<QApplication *>(app.get());
    // The program ends when its window closes, and only then: neither hiding
    // to the tray nor closing a message while the window is hidden ends it.
    gui->setQuitOnLastWindowClosed(false);
    InstallTopLevelErrorBox();
    InstallMessageDialog();
    InstallConnectPrompt();
    LogEvent(QStringLiteral("Programa iniciado: ") + QCoreApplication::arguments().join(QLatin1Char(' ')));
    if (!translationProblem.isEmpty())
        LogEvent(translationProblem);
    // During start-up the main loop is not there to end: the box or prompt
    // that is open closes, and start-up stops after it.
    OnApplicationEndRequested(gui, [] {
        if (!g_mainLoopRunning)
            LogEvent(QStringLiteral("Encerramento pedido durante a inicialização."));
        for (int i = 0; i < 16; ++i) {
            QWidget *box = QApplication::activeModalWidget();
            if (!box)
                break;
            if (auto *dialog = qobject_cast<QDialog *>(box))
                dialog->reject();
            else
                box->close();
            if (QApplication::activeModalWidget() == box)
                break;
        }
    });

    // Without the Firebird client nothing here can work, and the connection
    // prompt would only fail again: say which file is missing and end.
    if (const QString missing = FbClientError(); !missing.isEmpty()) {
        LogEvent(missing);
        ShowErrorMessage(QStringLiteral("Erro"), missing);
        LogEvent(QStringLiteral("Programa encerrado."));
        return 1;
    }
    LogEvent(FbClientLoadedText());

    TFrmPrincipal form(nullptr, false);
    g_form = &form;
    g_sync = &form.Sync;
    QObject::connect(&instance, &TSingleInstance::activationRequested, &form, [&form] {
        LogEvent(QStringLiteral("O programa foi aberto novamente; a janela já aberta foi trazida para a frente."));
        form.TIDblClick();
        if (form.isMinimized())
            form.showNormal();
        form.raise();
        form.activateWindow();
    });
    QObject::connect(&form, &TFrmPrincipal::Closed, app.get(), [] { RequestApplicationEnd(); });
    // After the second-start answer is wired: the start-up wait lets it in.
    form.FormCreate();
    if (!ApplicationEndRequested())
        form.ShowAtStart();
    const int status = RunLoop(*app, form.Sync);
    g_form = nullptr;
    return status;
}
