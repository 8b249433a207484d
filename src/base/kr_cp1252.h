#pragma once
// Windows-1252, the code page the host ERP's Windows installations write
// their INI files in. Kept as our own table so that reading and writing the
// ERP's files never depends on which optional codecs Qt was built with.
//
// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the C1 control characters with the same number, as Windows'
// own conversion does; every byte sequence therefore decodes and re-encodes
// to the same bytes.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

QString DecodeWindows1252(QByteArrayView bytes);
// Returns false (and leaves out) when a character has no Windows-1252 byte.
bool EncodeWindows1252(QStringView text, QByteArray &out);
