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
// failed write leaves the old file whole. Writes raise EIniFileException when
// the file cannot be written, when the value holds a line break or a character
// the file's encoding cannot store, or when a section or key name could not be
// read back (line breaks, ']' in a section, '=' in a key).
// Values with blanks at either end or wrapped in quotes are written quoted,
// because the profile functions strip both when reading.
#include "uikit/kr_error.h"

#include <QDate>
#include <QString>
#include <QVariant>

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

// One tagged value per call; the QVariant's type is the value's kind:
// integers up to 64 bits (stored as 32-bit; SaveConfigFile raises KrError for
// a value outside that range, a default outside it is clamped), float/double,
// QDate/QDateTime (date only), bool, QString/QByteArray (UTF-8). Anything else
// (uint, invalid, null, lists...) is neither written nor read.
// String values keep line breaks as "@@13" and "@@10" in the file.
void SaveConfigFile(const QString &path, const QString &section, const QString &key, const QVariant &value);
QVariant LoadConfigFile(const QString &path, const QString &section, const QString &key, const QVariant &def);
