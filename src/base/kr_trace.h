#pragma once
// Trace points: the maker's units call TracePoint first thing in every method.
// Tracing is off unless someone switches it on, so the common path is one test
// of two flags: no formatting, no allocation.
#include <QString>
#include <QStringList>

inline bool TraceEnabled = false;
inline bool TraceSuspended = false;
inline QString LastTraceName;
inline QString LastTraceCode;
// Most recent lines, oldest first; never more than TraceLogCapacity.
inline QStringList TraceLog;
inline constexpr int TraceLogCapacity = 80;

void RecordTracePoint(const char *name, const char *code);

// name and code are ASCII literals ("TFrmDialog.FormShow", "KRDIALOGFORM135").
inline void TracePoint(const char *name, const char *code)
{
    if (!TraceEnabled || TraceSuspended)
        return;
    RecordTracePoint(name, code);
}

// Clears the last trace point; called at shutdown.
void ResetTraceState();
