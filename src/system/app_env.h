#pragma once
// Facts about the running installation that many units need.
#include <QString>
#include <QStringList>
#include <functional>

// The folder of the running executable, ending in a separator. Every
// installation file is looked for here, never in the current directory. Both
// use the platform's separators, because the paths built on them are written
// into settings the ERP reads and shown to the user.
QString ExecutableFolder();
// Full path of the running executable.
QString ExecutablePath();
// Tests point the installation at a temporary folder.
void SetExecutableFolderForTesting(const QString &folder);

// The first command-line argument (empty when there is none).
QString FirstArgument();
void SetArgumentsForTesting(const QStringList &arguments);

// Trimmed of spaces and control characters at both ends, upper-cased, "HIDE".
bool IsHideSwitch(const QString &argument);

// Asks the application to end once control is back in its event loop
// (also when the loop has not started yet).
void RequestApplicationEnd();

// Ends the program at once with exit status 0, after flushing the standard
// streams; nothing after the call runs. Tests install a replacement (an empty
// function restores the real end).
void EndProgramNow();
void SetEndProgramNowForTesting(std::function<void()> replacement);
