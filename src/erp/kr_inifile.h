#pragma once
// INI settings store, compatible with files that the host ERP writes with the
// Windows private-profile functions (Windows-1252 text, CR LF line ends).
// Nothing is cached: every read goes to the file, every write reaches it
// before the call returns.
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

// One tagged value per call; the QVariant's type is the value's kind.
// String values keep line breaks as "@@13" and "@@10" in the file.
void SaveConfigFile(const QString &path, const QString &section, const QString &key, const QVariant &value);
QVariant LoadConfigFile(const QString &path, const QString &section, const QString &key, const QVariant &def);
