#include "system/kr_windows.h"

#include "base/kr_error.h"
#include "base/kr_trace.h"
#include "system/app_env.h"
#include "system/autostart.h"
#include "system/launch.h"

#include <QDir>

void SetRunAtStartup(bool reg, const QString &valueName, const QString &argument)
{
    try {
        platform::SetRunAtStartup(reg, valueName.toStdWString(), argument.toStdWString(),
                                  QDir::toNativeSeparators(ExecutablePath()).toStdWString());
    } catch (const platform::AutoStartError &e) {
        throw KrError(QString::fromUtf8(e.what()));
    }
}

bool RunsAtStartup(const QString &valueName)
{
    return platform::RunsAtStartup(valueName.toStdWString());
}

void ExecProgram(const QString &file, const QString &params, int showCmd, bool wait)
{
    if (wait)
        ExecAndWait(QString::fromStdWString(platform::CommandLineOf(file.toStdWString(), params.toStdWString())),
                    showCmd);
    else
        ExecShell(file, params, showCmd);
}

void ExecShell(const QString &file, const QString &params, int showCmd)
{
    platform::ExecShell(file.toStdWString(), params.toStdWString(), showCmd);
}

int ExecAndWait(const QString &commandLine, int showCmd)
{
    TracePoint("ExecAndWait ", "WINDOWS702");
    return platform::ExecAndWait(commandLine.toStdWString(), showCmd);
}
