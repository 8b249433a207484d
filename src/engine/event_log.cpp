#include "engine/event_log.h"

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
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) + line).toUtf8();
    // Standard error's own text mode makes the line end the platform's.
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);

    // The file is read with Notepad on Windows: older ones take a file
    // without a byte-order mark for the ANSI code page and show one long
    // line where the ends are LF alone.
#ifdef _WIN32
    const QByteArray fileLine = text + "\r\n";
#else
    const QByteArray fileLine = text + '\n';
#endif
    const QString path = EventLogPath();
    if (QFileInfo(path).size() + fileLine.size() > limit()) {
        const QString old = path + QStringLiteral(".1");
        QFile::remove(old);
        QFile::rename(path, old);
    }
    // A log that cannot be written (read-only folder, full disk) must never
    // stop the synchronisation; standard error still has the line.
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (f.size() == 0)
            f.write("\xEF\xBB\xBF");
        f.write(fileLine);
    }
}
