#pragma once
// Byte-level file helpers for the settings-file tests.
#include "base/kr_cp1252.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

namespace filetest {

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

inline QByteArray cp1252(const QString &s)
{
    QByteArray out;
    EncodeWindows1252(s, out);
    return out;
}

} // namespace filetest
