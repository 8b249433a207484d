#pragma once
// The program's own log: one time-stamped line per state change or failure,
// to standard error and to a size-capped file beside the executable, so that
// what happened overnight can be read the next morning.
#include <QString>

void LogEvent(const QString &line);

// Where the file goes and how large it may grow before it is rotated
// (the current file becomes ".1", the previous ".1" is dropped).
QString EventLogPath();
void SetEventLogLimitForTesting(qint64 bytes);
