// The settings store's reader on any file: reading never fails, never crashes,
// and agrees with itself (a key it reads a value for exists; a key that
// exists reads the same however its name is cased).
#include "base/kr_inifile.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    // The names to look up come first, the file is the rest.
    const QString section = QString::fromLatin1(in.Piece());
    const QString key = QString::fromLatin1(in.Piece());
    const QString path = fuzz::Folder() + QStringLiteral("read.ini");
    fuzz::WriteFile(path, in.Rest());

    const TIniFile ini(path);
    const QString value = ini.ReadString(section, key, QStringLiteral("\x01"));
    const bool exists = ini.ValueExists(section, key);
    if (value != QStringLiteral("\x01") && !exists)
        fuzz::Fail("a value was read for a key that does not exist", key);
    if (value.size() > 2047)
        fuzz::Fail("a value longer than the profile functions hand over");
    if (ini.ReadString(section.toUpper(), key.toLower(), QStringLiteral("\x01")) != value
        && section.toUpper().toLower() == section.toLower() && key.toLower().toUpper() == key.toUpper())
        fuzz::Fail("names are not looked up case-insensitively", key);
    ini.ReadInteger(section, key, 0);
    ini.ReadBool(section, key, false);
    ini.ReadFloat(section, key, 0.0);
    ini.ReadDate(section, key, QDate());
    LoadConfigFile(path, section, key, QStringLiteral("d"));
    LoadConfigFile(path, section, key, qlonglong(5));
    return 0;
}
