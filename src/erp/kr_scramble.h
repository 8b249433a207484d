#pragma once
// Keyed, randomised, reversible scrambling of values kept in plain-text files
// (the ERP database credentials and the reseller file). Values stored by one
// installation are read by another, so the algorithm, the table and the keys
// must never change.
#include <QString>
#include <array>

// Key of the ERP database user name and password.
inline const QString TRESVOLA = QStringLiteral("TRESVOLA");
// Key of the reseller branding data file.
inline const QString RevendaScrambleKey = QStringLiteral("XQRTELMOVANS24680%");

// Entry i - 1 stands for the character with code i (1..260). Scrambling uses
// only the entries of '0'-'9' and 'A'-'F', which are letters and digits so
// that they survive an INI value unchanged.
extern const std::array<const char *, 260> PairCodeTable;

// Mode "C": plain text -> hex text; mode "D": hex text -> plain text; any other
// mode gives an empty text. "D" raises KrError for a pair that is not a
// hexadecimal number. Raises KrError for an empty key or a key character above
// code 255.
QString HexScramble(const QString &mode, const QString &text, const QString &key);
QString ScrambleValue(const QString &text, const QString &key);
QString UnscrambleValue(const QString &stored, const QString &key);
