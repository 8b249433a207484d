#include "base/bounded_read.h"

QByteArray ReadAtMost(QIODevice &device, qint64 limit)
{
    QByteArray bytes;
    // A file's size is only a hint (it may grow meanwhile, a device has none).
    qint64 chunk = device.isSequential() ? 0 : device.size() - device.pos() + 1;
    chunk = qBound(qint64(4096), chunk, qint64(1024 * 1024));
    while (bytes.size() < limit) {
        const QByteArray part = device.read(qMin(chunk, limit - bytes.size()));
        if (part.isEmpty())
            break;
        bytes += part;
        chunk = qMin<qint64>(chunk * 2, 16 * 1024 * 1024);
    }
    return bytes;
}
