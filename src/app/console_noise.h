#pragma once
// Keeps what libraries print about themselves, and that says nothing about
// this program, out of the console and the log, so the program's own lines
// can be read there.
#include <QString>
#include <QtGlobal>

// Warnings and lower that are known to be harmless: a platform plugin telling
// what it does not implement, for calls Qt itself makes on its behalf.
// Critical and fatal messages never are.
bool IsHarmlessLibraryMessage(QtMsgType type, const QString &text);

// Installs a Qt message handler that drops the harmless messages and hands
// every other one to the handler that was there before, and silences the
// sound library's own error printing (on a machine without a sound card it
// prints several lines per alert; the alert then falls back to a beep).
void InstallConsoleFilter();
