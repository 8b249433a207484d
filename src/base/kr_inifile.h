#pragma once
// INI settings store, compatible with files that the host ERP writes with the
// Windows private-profile functions (Windows-1252 text, CR LF line ends; files
// with a UTF-8 or UTF-16LE byte-order mark are read and kept in that encoding).
// Nothing is cached: every read goes to the file, every write reaches it
// before the call returns.
//
// Reading never fails: a missing, unreadable, damaged or oversized file gives
// the default. A write changes only the line it must (or adds one), keeps the
// file's encoding and permissions, and replaces the file in one rename, so a
// failed write leaves the old file whole. Several writes that belong together
// go through one TIniBatch, which replaces the file once with all of them.
// Writes raise EIniFileException when
// the file cannot be written, when the value holds a line break or a character
// the file's encoding cannot store, or when a section or key name could not be
// read back (line breaks, ']' in a section, '=' in a key).
// Values with blanks at either end or wrapped in quotes are written quoted,
// because the profile functions strip both when reading.
#include "base/kr_error.h"

#include <QDate>
#include <QFileDevice>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

class EIniFileException : public KrError
{
public:
    using KrError::KrError;
};

class TIniFile
{
public:
    explicit TIniFile(const QString &fileName);
    const QString &FileName() const { return m_fileName; }

    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    void WriteString(const QString &section, const QString &key, const QString &value);
    int ReadInteger(const QString &section, const QString &key, int def) const;
    void WriteInteger(const QString &section, const QString &key, int value);
    bool ReadBool(const QString &section, const QString &key, bool def) const;
    void WriteBool(const QString &section, const QString &key, bool value);
    double ReadFloat(const QString &section, const QString &key, double def) const;
    void WriteFloat(const QString &section, const QString &key, double value);
    QDate ReadDate(const QString &section, const QString &key, const QDate &def) const;
    void WriteDate(const QString &section, const QString &key, const QDate &value);
    bool ValueExists(const QString &section, const QString &key) const;

private:
    QString m_fileName;
};

// Several writes to one file that must land together: Commit replaces the file
// once with all of them, or raises and leaves the file as it was. A refused
// name or value raises when it is queued; a value the file's encoding cannot
// store raises at Commit. Nothing reaches the file before Commit.
class TIniBatch
{
public:
    explicit TIniBatch(const QString &fileName);

    void WriteString(const QString &section, const QString &key, const QString &value);
    // Written only when the file, as Commit finds it, lacks the key.
    void WriteStringIfAbsent(const QString &section, const QString &key, const QString &value);
    void WriteBool(const QString &section, const QString &key, bool value);
    void WriteBoolIfAbsent(const QString &section, const QString &key, bool value);
    // A tagged value as SaveConfigFile writes it.
    void WriteValue(const QString &section, const QString &key, const QVariant &value);
    // The permissions Commit gives the file when it creates it; an existing
    // file keeps its own.
    void SetNewFilePermissions(QFileDevice::Permissions permissions);

    void Commit();

private:
    struct Pending {
        QString section;
        QString key;
        QString value;
        bool ifAbsent = false;
    };
    void Queue(const QString &section, const QString &key, const QString &value, bool ifAbsent);

    QString m_fileName;
    QList<Pending> m_writes;
    std::optional<QFileDevice::Permissions> m_newFilePermissions;
};

// One tagged value per call; the QVariant's type is the value's kind:
// integers up to 64 bits (stored as 32-bit; SaveConfigFile raises KrError for
// a value outside that range, a default outside it is clamped), float/double,
// QDate/QDateTime (date only), bool, QString/QByteArray (UTF-8). Anything else
// (uint, invalid, null, lists...) is neither written nor read.
// String values keep line breaks as "@@13" and "@@10" in the file.
void SaveConfigFile(const QString &path, const QString &section, const QString &key, const QVariant &value);
QVariant LoadConfigFile(const QString &path, const QString &section, const QString &key, const QVariant &def);
