#include "app/console_noise.h"

#include "app/quiet_sound_library.h"
#include <QStringList>

namespace {

QtMessageHandler g_previous = nullptr;

// Each entry was seen on a Linux desktop with nothing wrong: the X11 tray
// support and the offscreen plugin report calls they leave unimplemented,
// and a session without a runtime folder (a start as root or as a service)
// gets a private one, which the program never uses.
const char *const HarmlessFragments[] = {
    "QPlatformNativeInterface::systemTrayWindowChanged",
    "propagateSizeHints",
    "This plugin does not support",
    "QStandardPaths: XDG_RUNTIME_DIR not set",
};

void Filter(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (IsHarmlessLibraryMessage(type, text))
        return;
    if (g_previous)
        g_previous(type, context, text);
}

} // namespace

bool IsHarmlessLibraryMessage(QtMsgType type, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        return false;
    for (const char *fragment : HarmlessFragments) {
        if (text.contains(QLatin1String(fragment)))
            return true;
    }
    return false;
}

void InstallConsoleFilter()
{
    QtMessageHandler previous = qInstallMessageHandler(Filter);
    // Installed twice (tests): keep the first handler behind the filter.
    if (previous != Filter)
        g_previous = previous;
    QuietSoundLibrary();
}
