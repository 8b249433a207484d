#pragma once
// Facts about the running installation that many units need.
#include <QObject>
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

// Asks the application to end: its event loop ends, or, during start-up,
// start-up stops where it is (the wait, a box, the ERP prompt) and the
// program ends instead of going on. The listeners run at once.
void RequestApplicationEnd();
bool ApplicationEndRequested();
// Runs listener (on the main thread) when an end is requested, for as long
// as context lives; at once when one was requested already.
void OnApplicationEndRequested(QObject *context, std::function<void()> listener);
// Tests start each case as a new program would.
void ResetApplicationEndForTesting();

// Ends the program at once with exit status 0, after flushing the standard
// streams; nothing after the call runs. Tests install a replacement (an empty
// function restores the real end).
void EndProgramNow();
void SetEndProgramNowForTesting(std::function<void()> replacement);
