#include "base/kr_inifile.h"

#include "base/bounded_read.h"
#include "base/file_replace.h"
#include "base/kr_cp1252.h"
#include "base/kr_trace.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>
#include <limits>

namespace {

// The ERP's settings files are a few kilobytes. Anything far beyond that is not
// a settings file: reads give defaults, writes refuse rather than rewrite it.
constexpr qint64 MaxIniFileSize = 32 * 1024 * 1024;
// The profile functions hand values over in a 2048-character buffer.
constexpr qsizetype MaxValueLength = 2047;

enum class Encoding { Ansi, Utf8, Utf16LE };

struct Line {
    qsizetype begin = 0; // first byte of the text
    qsizetype end = 0;   // one past the text, before the line break
    qsizetype next = 0;  // one past the line break
    QString text;
};

struct Document {
    Encoding encoding = Encoding::Ansi;
    QByteArray bytes;
    QList<Line> lines;
};

enum class LoadResult { Missing, Loaded, Unreadable };

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

QString trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b).toString();
}

void splitLines(Document &doc, qsizetype start)
{
    const QByteArray &bytes = doc.bytes;
    const qsizetype unit = doc.encoding == Encoding::Utf16LE ? 2 : 1;
    const qsizetype size = bytes.size() - (bytes.size() - start) % unit;
    auto codeAt = [&](qsizetype i) -> unsigned {
        if (unit == 1)
            return static_cast<unsigned char>(bytes[i]);
        return static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    };
    auto decode = [&](qsizetype b, qsizetype e) -> QString {
        switch (doc.encoding) {
        case Encoding::Ansi:
            return DecodeWindows1252(QByteArrayView(bytes).sliced(b, e - b));
        case Encoding::Utf8:
            return QString::fromUtf8(QByteArrayView(bytes).sliced(b, e - b));
        case Encoding::Utf16LE: {
            QString s;
            s.reserve((e - b) / 2);
            for (qsizetype i = b; i < e; i += 2)
                s.append(QChar(char16_t(codeAt(i))));
            return s;
        }
        }
        return QString();
    };

    qsizetype i = start, lineBegin = start;
    while (i < size) {
        const unsigned c = codeAt(i);
        if (c != '\r' && c != '\n') {
            i += unit;
            continue;
        }
        Line line;
        line.begin = lineBegin;
        line.end = i;
        i += unit;
        if (c == '\r' && i < size && codeAt(i) == '\n')
            i += unit;
        line.next = i;
        line.text = decode(line.begin, line.end);
        doc.lines.append(line);
        lineBegin = i;
    }
    if (lineBegin < bytes.size()) {
        Line line;
        line.begin = lineBegin;
        line.end = line.next = bytes.size();
        line.text = decode(lineBegin, size > lineBegin ? size : lineBegin);
        doc.lines.append(line);
    }
}

qsizetype markLength(Encoding encoding)
{
    return encoding == Encoding::Utf8 ? 3 : encoding == Encoding::Utf16LE ? 2 : 0;
}

// The encoding and the lines of doc.bytes, found anew.
void parseDocument(Document &doc)
{
    doc.encoding = Encoding::Ansi;
    if (doc.bytes.startsWith("\xEF\xBB\xBF"))
        doc.encoding = Encoding::Utf8;
    else if (doc.bytes.startsWith("\xFF\xFE"))
        doc.encoding = Encoding::Utf16LE;
    doc.lines.clear();
    splitLines(doc, markLength(doc.encoding));
}

LoadResult loadDocument(const QString &path, Document &doc)
{
    const QFileInfo info(path);
    if (!info.exists())
        return LoadResult::Missing;
    if (info.isDir() || info.size() > MaxIniFileSize)
        return LoadResult::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::Unreadable;
    doc.bytes = ReadAtMost(file, MaxIniFileSize + 1);
    if (doc.bytes.size() > MaxIniFileSize || file.error() != QFileDevice::NoError)
        return LoadResult::Unreadable;
    parseDocument(doc);
    return LoadResult::Loaded;
}

bool encodeText(Encoding encoding, QStringView text, QByteArray &out)
{
    switch (encoding) {
    case Encoding::Ansi:
        return EncodeWindows1252(text, out);
    case Encoding::Utf8:
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            else if (text[i].isSurrogate())
                return false;
        }
        out = text.toUtf8();
        return true;
    case Encoding::Utf16LE:
        out.clear();
        out.reserve(text.size() * 2);
        for (QChar c : text) {
            out.append(char(c.unicode() & 0xFF));
            out.append(char(c.unicode() >> 8));
        }
        return true;
    }
    return false;
}

QByteArray lineBreak(Encoding encoding)
{
    return encoding == Encoding::Utf16LE ? QByteArray("\r\0\n\0", 4) : QByteArray("\r\n");
}

enum class LineKind { Blank, Comment, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Blank;
    QString name;
    qsizetype equals = -1; // position of '=' in the line's text
};

ParsedLine parseLine(const QString &text)
{
    ParsedLine p;
    const QString t = trimBlanks(text);
    if (t.isEmpty())
        return p;
    if (t.startsWith(u';')) {
        p.kind = LineKind::Comment;
        return p;
    }
    if (t.startsWith(u'[')) {
        const qsizetype close = t.lastIndexOf(u']');
        // A bracket line that never closes names no section; like the
        // profile functions, we skip it rather than guess.
        p.kind = close > 0 ? LineKind::Section : LineKind::Comment;
        if (close > 0)
            p.name = trimBlanks(QStringView(t).sliced(1, close - 1));
        return p;
    }
    p.kind = LineKind::Key;
    p.equals = text.indexOf(u'=');
    p.name = trimBlanks(p.equals < 0 ? QStringView(text) : QStringView(text).first(p.equals));
    return p;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Location {
    int section = -1;     // header line of the first section with the name
    int lastContent = -1; // last non-blank line of that section
    int key = -1;         // first line of the key in that section
    qsizetype equals = -1;
};

Location locate(const Document &doc, const QString &section, const QString &key)
{
    Location loc;
    const QString s = trimBlanks(section), k = trimBlanks(key);
    for (int i = 0; i < doc.lines.size(); ++i) {
        const ParsedLine p = parseLine(doc.lines[i].text);
        if (p.kind == LineKind::Section) {
            if (loc.section >= 0)
                break;
            if (sameName(p.name, s))
                loc.section = loc.lastContent = i;
            continue;
        }
        if (loc.section < 0 || p.kind == LineKind::Blank)
            continue;
        loc.lastContent = i;
        if (p.kind == LineKind::Key && loc.key < 0 && !k.isEmpty() && sameName(p.name, k)) {
            loc.key = i;
            loc.equals = p.equals;
        }
    }
    return loc;
}

// The profile functions drop one pair of matching quotes around a value, and
// blanks around it; quoting on write keeps such values intact.
bool needsQuotes(const QString &value)
{
    if (value.isEmpty())
        return false;
    if (isBlank(value.front()) || isBlank(value.back()))
        return true;
    return value.size() >= 2 && value.front() == value.back()
           && (value.front() == u'"' || value.front() == u'\'');
}

QString unquote(const QString &value)
{
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == u'"' || value.front() == u'\''))
        return value.sliced(1, value.size() - 2);
    return value;
}

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0));
}

[[noreturn]] void failWrite(const QString &path)
{
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(path));
}

void checkWrite(const QString &path, const QString &section, const QString &key, const QString &value)
{
    const QString s = trimBlanks(section), k = trimBlanks(key);
    if (hasLineBreak(s) || s.contains(u']') || k.isEmpty() || hasLineBreak(k) || k.contains(u'=')
        || k.startsWith(u'[') || k.startsWith(u';'))
        throw EIniFileException(
            QStringLiteral("Unable to write to %1: invalid section or key name [%2] %3").arg(path, section, key));
    if (hasLineBreak(value))
        throw EIniFileException(
            QStringLiteral("Unable to write to %1: the value of %2 holds a line break").arg(path, key));
}

// Sets one key in the document, changing only its line or adding one (and
// the section's header when the section is new).
void applyWrite(Document &doc, const QString &path, const QString &section, const QString &key, const QString &value)
{
    const QString s = trimBlanks(section), k = trimBlanks(key);
    const QString stored = needsQuotes(value) ? u'"' + value + u'"' : value;
    const Location loc = locate(doc, s, k);
    const QByteArray eol = lineBreak(doc.encoding);
    QStringList newLines; // replace [from, to) with these, joined by line breaks
    qsizetype from = 0, to = 0;
    bool breakBefore = false, breakAfter = false;

    if (loc.key >= 0) {
        const Line &line = doc.lines[loc.key];
        qsizetype keep;
        if (loc.equals >= 0) {
            keep = loc.equals + 1;
            while (keep < line.text.size() && isBlank(line.text[keep]))
                ++keep;
            newLines << line.text.left(keep) + stored;
        } else {
            keep = line.text.size();
            while (keep > 0 && isBlank(line.text[keep - 1]))
                --keep;
            newLines << line.text.left(keep) + u'=' + stored;
        }
        from = line.begin;
        to = line.end;
    } else {
        if (loc.section < 0)
            newLines << u'[' + s + u']';
        newLines << k + u'=' + stored;
        const qsizetype after = loc.section >= 0 ? loc.lastContent : doc.lines.size() - 1;
        if (after < 0) {
            from = to = doc.bytes.size();
        } else {
            const Line &line = doc.lines[after];
            breakBefore = line.next == line.end;
            from = to = breakBefore ? line.end : line.next;
        }
        breakAfter = !breakBefore;
    }

    QByteArray piece;
    for (const QString &text : std::as_const(newLines)) {
        QByteArray bytes;
        if (!encodeText(doc.encoding, text, bytes))
            throw EIniFileException(QStringLiteral("Unable to write to %1: the value of %2 holds characters that "
                                                   "the file's character set cannot store")
                                        .arg(path, key));
        if (!piece.isEmpty())
            piece += eol;
        piece += bytes;
    }
    if (breakBefore)
        piece.prepend(eol);
    if (breakAfter)
        piece += eol;

    doc.bytes.replace(from, to - from, piece);
    doc.lines.clear();
    splitLines(doc, markLength(doc.encoding));
}

// The one place where a settings file is replaced. A new file in the same
// folder renamed over the old one: a crash or a full disk leaves either the
// old file or the new one, never half of either. Where the system allows it
// the new file has no name until the rename, so a crash while writing leaves
// nothing behind.
void replaceFile(const QString &path, const QByteArray &bytes,
                 const std::optional<QFileDevice::Permissions> &newFilePermissions)
{
#ifdef Q_OS_WIN
    // ReplaceFileW: the file keeps the security descriptor and attributes the
    // ERP's installer gave it, which a rename would replace by the folder's.
    // Windows has no mode bits: a new file takes the folder's access list
    // (file_replace.h says why).
    if (!platform::ReplaceFileContents(path.toStdWString(), std::string_view(bytes.constData(), size_t(bytes.size()))))
        failWrite(path);
    return;
#endif
    const bool created = !QFileInfo::exists(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failWrite(path);
    // Set before any byte is written, so the content is never readable by
    // more people than it should be.
    if (created && newFilePermissions && !file.setPermissions(*newFilePermissions)) {
        file.cancelWriting();
        failWrite(path);
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        failWrite(path);
}

QLocale numberLocale()
{
    QLocale loc = QLocale::system();
    loc.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return loc;
}

// Two-digit years would come back a century off, so dates are always written
// with four, in the locale's short-date order.
QString fullYearFormat(QString format)
{
    QString out;
    for (qsizetype i = 0; i < format.size();) {
        if (format[i] != u'y') {
            out.append(format[i++]);
            continue;
        }
        qsizetype n = 0;
        while (i < format.size() && format[i] == u'y') {
            ++i;
            ++n;
        }
        out.append(n == 2 ? QStringLiteral("yyyy") : QString(n, u'y'));
    }
    return out;
}

int toInt32(qlonglong v)
{
    return int(std::clamp<qlonglong>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int toInt32(qulonglong v)
{
    return v > qulonglong(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(v);
}

enum class Kind { Integer, SignedBig, UnsignedBig, Float, Date, Boolean, Text, Other };

Kind kindOf(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::UShort:
        return Kind::Integer;
    case QMetaType::LongLong:
    case QMetaType::Long:
        return Kind::SignedBig;
    case QMetaType::ULongLong:
        return Kind::UnsignedBig;
    case QMetaType::Float:
    case QMetaType::Double:
        return Kind::Float;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return Kind::Date;
    case QMetaType::Bool:
        return Kind::Boolean;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return Kind::Text;
    default:
        return Kind::Other;
    }
}

QDate dateOf(const QVariant &v)
{
    return v.metaType().id() == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate();
}

QString boolText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString floatText(double value)
{
    return numberLocale().toString(value, 'g', 15);
}

QString dateText(const QDate &value)
{
    const QLocale loc = QLocale::system();
    return loc.toString(value, fullYearFormat(loc.dateFormat(QLocale::ShortFormat)));
}

// The text SaveConfigFile stores for a tagged value; nothing for a kind it
// does not store.
std::optional<QString> taggedText(const QString &key, const QVariant &value)
{
    switch (kindOf(value)) {
    case Kind::Integer:
        return QString::number(value.toInt());
    case Kind::SignedBig:
    case Kind::UnsignedBig: {
        // Storing a different number than the one given would be silent data
        // loss; a value outside the 32-bit range is refused.
        const bool fits = kindOf(value) == Kind::SignedBig
                              ? value.toLongLong() == toInt32(value.toLongLong())
                              : value.toULongLong() == qulonglong(toInt32(value.toULongLong()));
        if (!fits)
            throw KrError(QStringLiteral("The value %1 of %2 does not fit a 32-bit integer")
                              .arg(value.toString(), key));
        return QString::number(int(value.toLongLong()));
    }
    case Kind::Float:
        return floatText(value.toDouble());
    case Kind::Date:
        return dateText(dateOf(value));
    case Kind::Boolean:
        return boolText(value.toBool());
    case Kind::Text: {
        QString text = value.toString();
        text.replace(QChar(13), QStringLiteral("@@13"));
        text.replace(QChar(10), QStringLiteral("@@10"));
        return text;
    }
    case Kind::Other:
        break;
    }
    return std::nullopt;
}

} // namespace

TIniFile::TIniFile(const QString &fileName)
    : m_fileName(fileName)
{
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    Document doc;
    if (loadDocument(m_fileName, doc) != LoadResult::Loaded)
        return def;
    const Location loc = locate(doc, section, key);
    if (loc.key < 0 || loc.equals < 0)
        return def;
    const QString &text = doc.lines[loc.key].text;
    return unquote(trimBlanks(QStringView(text).sliced(loc.equals + 1))).left(MaxValueLength);
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    TIniBatch batch(m_fileName);
    batch.WriteString(section, key, value);
    batch.Commit();
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int def) const
{
    const QString text = ReadString(section, key, QString());
    bool ok = false;
    int value;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        // Hexadecimal is read as the 32-bit pattern, so 0xFFFFFFFF is -1.
        const QStringView digits = QStringView(text).sliced(2);
        const qulonglong pattern = digits.startsWith(u'+') || digits.startsWith(u'-') ? 0 : digits.toULongLong(&ok, 16);
        ok = ok && pattern <= 0xFFFFFFFFu;
        value = int(pattern);
    } else {
        value = text.toInt(&ok, 10);
    }
    return ok ? value : def;
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, boolText(value));
}

double TIniFile::ReadFloat(const QString &section, const QString &key, double def) const
{
    const QString text = ReadString(section, key, QString());
    if (text.isEmpty())
        return def;
    bool ok = false;
    const double value = numberLocale().toDouble(text, &ok);
    return ok ? value : def;
}

void TIniFile::WriteFloat(const QString &section, const QString &key, double value)
{
    WriteString(section, key, floatText(value));
}

QDate TIniFile::ReadDate(const QString &section, const QString &key, const QDate &def) const
{
    const QString text = ReadString(section, key, QString());
    if (text.isEmpty())
        return def;
    const QLocale loc = QLocale::system();
    const QString shortFormat = loc.dateFormat(QLocale::ShortFormat);
    QDate date = loc.toDate(text, fullYearFormat(shortFormat));
    if (!date.isValid()) {
        // Written elsewhere with the locale's own two-digit year: keep it
        // within the 50 years before and after today.
        date = loc.toDate(text, shortFormat);
        if (date.isValid() && fullYearFormat(shortFormat) != shortFormat) {
            const int thisYear = QDate::currentDate().year();
            const int year = thisYear - thisYear % 100 + date.year() % 100;
            date = QDate(year > thisYear + 50 ? year - 100 : year < thisYear - 50 ? year + 100 : year,
                         date.month(), date.day());
        }
    }
    return date.isValid() ? date : def;
}

void TIniFile::WriteDate(const QString &section, const QString &key, const QDate &value)
{
    WriteString(section, key, dateText(value));
}

bool TIniFile::ValueExists(const QString &section, const QString &key) const
{
    Document doc;
    return loadDocument(m_fileName, doc) == LoadResult::Loaded && locate(doc, section, key).key >= 0;
}

TIniBatch::TIniBatch(const QString &fileName)
    : m_fileName(fileName)
{
}

void TIniBatch::Queue(const QString &section, const QString &key, const QString &value, bool ifAbsent)
{
    checkWrite(m_fileName, section, key, value);
    m_writes.append({section, key, value, ifAbsent});
}

void TIniBatch::WriteString(const QString &section, const QString &key, const QString &value)
{
    Queue(section, key, value, false);
}

void TIniBatch::WriteStringIfAbsent(const QString &section, const QString &key, const QString &value)
{
    Queue(section, key, value, true);
}

void TIniBatch::WriteBool(const QString &section, const QString &key, bool value)
{
    Queue(section, key, boolText(value), false);
}

void TIniBatch::WriteBoolIfAbsent(const QString &section, const QString &key, bool value)
{
    Queue(section, key, boolText(value), true);
}

void TIniBatch::WriteValue(const QString &section, const QString &key, const QVariant &value)
{
    if (const std::optional<QString> text = taggedText(key, value))
        Queue(section, key, *text, false);
}

void TIniBatch::SetNewFilePermissions(QFileDevice::Permissions permissions)
{
    m_newFilePermissions = permissions;
}

void TIniBatch::Commit()
{
    if (m_writes.isEmpty())
        return;
    Document doc;
    const LoadResult loaded = loadDocument(m_fileName, doc);
    // A UTF-16 file cut in the middle of a character: anything added would be
    // out of step with the rest, so leave it alone.
    if (loaded == LoadResult::Unreadable || (doc.encoding == Encoding::Utf16LE && doc.bytes.size() % 2 != 0))
        failWrite(m_fileName);
    const QByteArray before = doc.bytes;
    bool applied = false;
    for (const Pending &w : std::as_const(m_writes)) {
        if (w.ifAbsent && locate(doc, trimBlanks(w.section), trimBlanks(w.key)).key >= 0)
            continue;
        applyWrite(doc, m_fileName, w.section, w.key, w.value);
        applied = true;
    }
    if (!applied || (loaded == LoadResult::Loaded && doc.bytes == before))
        return;
    replaceFile(m_fileName, doc.bytes, m_newFilePermissions);
}

void SaveConfigFile(const QString &path, const QString &section, const QString &key, const QVariant &value)
{
    TracePoint("SaveConfigFile", "INIFILE90");
    TIniBatch batch(path);
    batch.WriteValue(section, key, value);
    batch.Commit();
}

QVariant LoadConfigFile(const QString &path, const QString &section, const QString &key, const QVariant &def)
{
    TracePoint("LoadConfigFile", "INIFILE118");
    const TIniFile ini(path);
    switch (kindOf(def)) {
    case Kind::Integer:
        return ini.ReadInteger(section, key, def.toInt());
    case Kind::SignedBig:
        return ini.ReadInteger(section, key, toInt32(def.toLongLong()));
    case Kind::UnsignedBig:
        return ini.ReadInteger(section, key, toInt32(def.toULongLong()));
    case Kind::Float:
        return ini.ReadFloat(section, key, def.toDouble());
    case Kind::Date:
        return ini.ReadDate(section, key, dateOf(def));
    case Kind::Boolean:
        return ini.ReadBool(section, key, def.toBool());
    case Kind::Text: {
        QString text = ini.ReadString(section, key, def.toString());
        text.replace(QStringLiteral("@@13"), QChar(13));
        text.replace(QStringLiteral("@@10"), QChar(10));
        return text;
    }
    case Kind::Other:
        break;
    }
    return def;
}
