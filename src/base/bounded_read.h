#pragma once
// Reading a whole file that should be small, with a ceiling on what a large
// or endless one (a device, a file still growing) may take.
#include <QByteArray>
#include <QIODevice>

// Up to limit bytes, until the end of the device. The buffer grows with what
// is read: asking QIODevice::read for the limit at once would reserve the
// whole limit for every small file.
QByteArray ReadAtMost(QIODevice &device, qint64 limit);
