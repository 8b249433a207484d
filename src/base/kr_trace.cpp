#include "base/kr_trace.h"

#include <QTime>

void RecordTracePoint(const char *name, const char *code)
{
    LastTraceName = QString::fromLatin1(name);
    LastTraceCode = QString::fromLatin1(code);
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    TraceLog.append(QStringLiteral("EXECUÇÃO: ") + time + QStringLiteral(" / FUNÇÃO: ") + LastTraceName
                    + QStringLiteral(" / CODIGO: ") + LastTraceCode);
    if (TraceLog.size() > TraceLogCapacity)
        TraceLog.removeFirst();
}

void ResetTraceState()
{
    LastTraceName.clear();
    LastTraceCode.clear();
}
