// The settings store's writer on any file: a write either raises
// EIniFileException and leaves every byte as it was, or succeeds and then
// reads back the value written, leaves the other keys' values as they were,
// and keeps the file's encoding mark.
#include "base/kr_inifile.h"
#include "fuzz_support.h"

#include <QList>

namespace {

struct Write {
    QString section, key, value;
};

// Latin-1 gives every byte a character, the ones the file may not hold
// included; UTF-8 brings the rest of Unicode (and broken sequences).
QString text(const QByteArray &bytes, bool utf8)
{
    return utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    // Up to three writes (section, key, value), then a probe key, then the file.
    const uint8_t mode = in.Byte();
    const int count = mode % 4;
    const bool utf8 = mode & 4;
    QList<Write> writes;
    for (int i = 0; i < count; ++i) {
        Write w;
        w.section = text(in.Piece(), utf8);
        w.key = text(in.Piece(), utf8);
        w.value = text(in.Piece(), utf8);
        writes << w;
    }
    const QString probeSection = text(in.Piece(), utf8);
    const QString probeKey = text(in.Piece(), utf8);
    const QString path = fuzz::Folder() + QStringLiteral("write.ini");
    const QByteArray before = in.Rest();
    fuzz::WriteFile(path, before);

    const TIniFile ini(path);
    const QString probeBefore = ini.ReadString(probeSection, probeKey, QStringLiteral("\x01"));

    TIniBatch batch(path);
    QList<Write> queued;
    for (const Write &w : std::as_const(writes)) {
        try {
            batch.WriteString(w.section, w.key, w.value);
            queued << w;
        } catch (const EIniFileException &) {
        }
    }
    try {
        batch.Commit();
    } catch (const EIniFileException &) {
        if (readAll(path) != before)
            fuzz::Fail("a refused write changed the file");
        return 0;
    }

    const QByteArray after = readAll(path);
    for (const char *mark : {"\xEF\xBB\xBF", "\xFF\xFE"})
        if (before.startsWith(mark) != after.startsWith(mark))
            fuzz::Fail("the encoding mark changed");
    // The last write of each key wins; every queued key reads back its value,
    // as far as the profile functions hand values over.
    for (qsizetype i = 0; i < queued.size(); ++i) {
        const Write &w = queued[i];
        bool overwritten = false;
        for (qsizetype j = i + 1; j < queued.size(); ++j)
            overwritten = overwritten
                || (queued[j].section.trimmed().compare(w.section.trimmed(), Qt::CaseInsensitive) == 0
                    && queued[j].key.trimmed().compare(w.key.trimmed(), Qt::CaseInsensitive) == 0);
        if (overwritten || w.value.size() > 2047)
            continue;
        const QString back = ini.ReadString(w.section, w.key, QStringLiteral("\x01"));
        if (back != w.value)
            fuzz::Fail("a written value did not read back", w.key + QStringLiteral(" = [") + w.value
                                                                 + QStringLiteral("] read [") + back + u']');
    }
    bool probeWritten = false;
    for (const Write &w : std::as_const(queued))
        probeWritten = probeWritten
            || (w.section.trimmed().compare(probeSection.trimmed(), Qt::CaseInsensitive) == 0
                && w.key.trimmed().compare(probeKey.trimmed(), Qt::CaseInsensitive) == 0);
    if (!probeWritten && !probeKey.trimmed().isEmpty()
        && ini.ReadString(probeSection, probeKey, QStringLiteral("\x01")) != probeBefore)
        fuzz::Fail("a write changed another key", probeKey);
    return 0;
}
