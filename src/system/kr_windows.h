#pragma once
// Start-with-the-OS registration and process launching for the rest of the
// program, in QString terms. The platform layers behind it are Qt-free
// (system/autostart.h, system/launch.h).
#include <QString>

// The name of the program's start-up entry.
inline const QString AutoStartValueName = QStringLiteral("Integração com Catracas Ovrex/Miravel");

// Writes (reg true) or deletes the start-up entry valueName, which starts the
// running executable with argument. Raises KrError when that fails, so the
// caller never takes a failure for success.
void SetRunAtStartup(bool reg, const QString &valueName, const QString &argument);
bool RunsAtStartup(const QString &valueName);

// With wait false: ExecShell(file, params, showCmd). With wait true:
// ExecAndWait(file + " " + params, trimmed), exit code discarded.
void ExecProgram(const QString &file, const QString &params, int showCmd, bool wait);
void ExecShell(const QString &file, const QString &params, int showCmd);
// The exit code of the command line's program; -1 when it cannot be started.
int ExecAndWait(const QString &commandLine, int showCmd);
