#include "sync/event_log.h"

#include "system/app_env.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <cstdio>

namespace {
qint64 &limit()
{
    static qint64 l = 2 * 1024 * 1024;
    return l;
}
} // namespace

QString EventLogPath()
{
    return ExecutableFolder() + QStringLiteral("catraca-sync.log");
}

void SetEventLogLimitForTesting(qint64 bytes)
{
    limit() = bytes;
}

void LogEvent(const QString &line)
{
    // The engine's thread and the window's both log: one line at a time.
    static QMutex mutex;
    const QMutexLocker lock(&mutex);
    const QByteArray text =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) + line + QLatin1Char('\n'))
            .toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);

    const QString path = EventLogPath();
    if (QFileInfo(path).size() + text.size() > limit()) {
        const QString old = path + QStringLiteral(".1");
        QFile::remove(old);
        QFile::rename(path, old);
    }
    // A log that cannot be written (read-only folder, full disk) must never
    // stop the synchronisation; standard error still has the line.
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append))
        f.write(text);
}
