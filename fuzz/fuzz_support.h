#pragma once
// What the fuzz targets share: a private folder for the files they feed to
// the product's code, on a memory file system where there is one, since the
// settings store syncs every file it writes.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline const QString &Folder()
{
    static QTemporaryDir *dir = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        auto *d = new QTemporaryDir(base + QStringLiteral("/catraca-fuzz-XXXXXX"));
        if (!d->isValid()) {
            std::fprintf(stderr, "fuzz: no temporary folder\n");
            std::abort();
        }
        return d;
    }();
    static const QString path = dir->path() + QLatin1Char('/');
    return path;
}

inline void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

// A finding: the message names the property that failed.
[[noreturn]] inline void Fail(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "fuzz: %s %s\n", what, qPrintable(detail));
    std::abort();
}

// Takes bytes from the front of the input, as the targets split it.
class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_size == 0; }
    uint8_t Byte()
    {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }
    // Up to the next 0xFF byte (which is dropped), or the rest.
    QByteArray Piece()
    {
        size_t n = 0;
        while (n < m_size && m_data[n] != 0xFF)
            ++n;
        QByteArray out(reinterpret_cast<const char *>(m_data), qsizetype(n));
        const size_t used = n < m_size ? n + 1 : n;
        m_data += used;
        m_size -= used;
        return out;
    }
    QByteArray Rest()
    {
        QByteArray out(reinterpret_cast<const char *>(m_data), qsizetype(m_size));
        m_data += m_size;
        m_size = 0;
        return out;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
};

} // namespace fuzz
