#include "base/kr_cp1252.h"
#include "base/kr_inifile.h"
#include "support/file_bytes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

namespace {
using filetest::cp1252;
using filetest::readAll;
using filetest::writeAll;

#ifdef Q_OS_WIN
// The file's access list in the security descriptors' text form.
QString AccessList(const QString &path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    DWORD size = 0;
    GetFileSecurityW(name.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    QByteArray descriptor(size ? int(size) : 1, '\0');
    wchar_t *text = nullptr;
    if (!GetFileSecurityW(name.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size)
        || !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                                 DACL_SECURITY_INFORMATION, &text, nullptr))
        return QString();
    const QString list = QString::fromWCharArray(text);
    LocalFree(text);
    return list;
}
#endif
} // namespace

class TstIniFile : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void codecCoversEveryByte()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QByteArray back;
        QVERIFY(EncodeWindows1252(DecodeWindows1252(all), back));
        QCOMPARE(back, all);
        QCOMPARE(DecodeWindows1252("\x80\x93\x9F"), QStringLiteral("€“Ÿ"));
        QVERIFY(!EncodeWindows1252(QStringLiteral("中"), back));
        QVERIFY(!EncodeWindows1252(QString(QChar(0x80)), back));
    }

    // The ERP's own file: accents in Windows-1252, CR LF, blanks, a comment.
    void erpFileIsReadAndUpdatedInPlace()
    {
        const QString file = path("erp.ini");
        QFile::remove(file);
        QVERIFY(QFile::copy(QString::fromLocal8Bit(qgetenv("CATRACA_FIXTURES")) + "/erp_profile_1252.ini", file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        const QByteArray original = readAll(file);
        TIniFile ini(file);
        QCOMPARE(ini.ReadString("empresa", "Razao", "x"), QStringLiteral("Padaria São João Ltda"));
        QCOMPARE(ini.ReadString("EMPRESA", "CIDADE", "x"), QStringLiteral("Conceição do Araguaia"));
        QCOMPARE(ini.ReadString("EMPRESA", "MOEDA", "x"), QStringLiteral("€"));
        QCOMPARE(ini.ReadString("EMPRESA", "OBS", "x"), QStringLiteral("Crédito à vista – 5%"));
        QCOMPARE(ini.ReadString("IBCONFIG", "; senha gravada pelo instalador", "d"), QStringLiteral("d"));

        ini.WriteString("empresa", "razao", QStringLiteral("Açougue Irmãos"));
        QByteArray expected = original;
        expected.replace(cp1252(QStringLiteral("RAZAO=Padaria São João Ltda")), cp1252(QStringLiteral("RAZAO=Açougue Irmãos")));
        QCOMPARE(readAll(file), expected);

        // Blanks after '=' are kept, trailing ones go with the old value.
        ini.WriteString("EMPRESA", "CIDADE", QStringLiteral("Belém"));
        expected.replace(cp1252(QStringLiteral("CIDADE = Conceição do Araguaia ")), cp1252(QStringLiteral("CIDADE = Belém")));
        QCOMPARE(readAll(file), expected);

        // A new key goes after the section's last line, before the blank line.
        ini.WriteString("IBCONFIG", "SENHA", "EQaa");
        expected.replace("USUARIO=jtyxHrEQ\r\n", "USUARIO=jtyxHrEQ\r\nSENHA=EQaa\r\n");
        QCOMPARE(readAll(file), expected);

        ini.WriteString("TEMA", "COR", "1");
        expected += "[TEMA]\r\nCOR=1\r\n";
        QCOMPARE(readAll(file), expected);
#ifndef Q_OS_WIN
        // Windows has no mode bits: its access list is what ReplaceFileW keeps.
        const QFile::Permissions perms = QFile::permissions(file);
        QVERIFY(perms.testFlags(QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(int(perms & 0x00FF), 0); // nothing for group and others
#endif

        // Refused writes leave every byte as it was.
        QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.WriteString("EMPRESA", "RAZAO", QStringLiteral("北京")));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.WriteString("EMPRESA", "RAZAO", "a\nb"));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.WriteString("EMPRESA", "A=B", "1"));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.WriteString("EMP]RESA", "A", "1"));
        QCOMPARE(readAll(file), expected);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("erp.ini").size(), 1);
    }

    void missingFileAndNewFile()
    {
        const QString file = path("novo.ini");
        TIniFile ini(file);
        QCOMPARE(ini.ReadString("S", "K", "def"), QStringLiteral("def"));
        QVERIFY(!ini.ValueExists("S", "K"));
        QVERIFY(!QFile::exists(file));
        ini.WriteString("MySQL", "HostName", QStringLiteral("servidor-ção"));
        ini.WriteString("MySQL", "Port", "3306");
        QCOMPARE(readAll(file), cp1252(QStringLiteral("[MySQL]\r\nHostName=servidor-ção\r\nPort=3306\r\n")));
    }

    void profileQuirks()
    {
        const QString file = path("quirks.ini");
        writeAll(file, "junk=1\n[a]\nk1=first\nK1=second\n  ;k2=comment\n\tk3 =  spaced value  \n"
                       "q1=\"quoted\"\nq2='x\"\nbare\n[A]\nk4=dup section\n[b]\r\nlast=no break");
        TIniFile ini(file);
        QCOMPARE(ini.ReadString("a", "k1", "d"), QStringLiteral("first"));
        QCOMPARE(ini.ReadString("a", "k2", "d"), QStringLiteral("d"));
        QCOMPARE(ini.ReadString("a", "K3", "d"), QStringLiteral("spaced value"));
        QCOMPARE(ini.ReadString("a", "q1", "d"), QStringLiteral("quoted"));
        QCOMPARE(ini.ReadString("a", "q2", "d"), QStringLiteral("'x\""));
        QCOMPARE(ini.ReadString("a", "bare", "d"), QStringLiteral("d"));
        QVERIFY(ini.ValueExists("a", "BARE"));
        QCOMPARE(ini.ReadString("a", "k4", "d"), QStringLiteral("d"));
        QCOMPARE(ini.ReadString("a", "junk", "d"), QStringLiteral("d"));
        QCOMPARE(ini.ReadString("B", "LAST", "d"), QStringLiteral("no break"));

        // Values that the reader would trim or unquote are written quoted.
        for (const QString &v : {QStringLiteral(" padded "), QStringLiteral("\"both\""), QStringLiteral("'"), QString()}) {
            ini.WriteString("a", "k1", v);
            QCOMPARE(ini.ReadString("a", "k1", "d"), v);
            QCOMPARE(ini.ReadString("a", "K1", "d"), v);
        }
        ini.WriteString("b", "novo", "1");
        QVERIFY(readAll(file).endsWith("[b]\r\nlast=no break\r\nnovo=1"));
        ini.WriteString("a", "bare", "2");
        QCOMPARE(ini.ReadString("a", "bare", "d"), QStringLiteral("2"));
        QVERIFY(readAll(file).startsWith("junk=1\n[a]\nk1=\nK1=second\n  ;k2=comment\n\tk3 =  spaced value  \n"));
    }

    void bomFilesKeepTheirEncoding()
    {
        const QString utf8 = path("utf8.ini");
        writeAll(utf8, "\xEF\xBB\xBF[S]\r\nNOME=Jos\xC3\xA9\r\nX=1\r\n");
        TIniFile a(utf8);
        QCOMPARE(a.ReadString("s", "nome", ""), QStringLiteral("José"));
        a.WriteString("S", "NOME", QStringLiteral("北京"));
        QCOMPARE(readAll(utf8), QByteArray("\xEF\xBB\xBF[S]\r\nNOME=\xE5\x8C\x97\xE4\xBA\xAC\r\nX=1\r\n"));

        const QString utf16 = path("utf16.ini");
        const QString text = QStringLiteral("[S]\r\nNOME=José\r\nX=1\r\n");
        QByteArray bytes("\xFF\xFE");
        bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        writeAll(utf16, bytes);
        TIniFile b(utf16);
        QCOMPARE(b.ReadString("S", "NOME", ""), QStringLiteral("José"));
        b.WriteString("S", "Y", QStringLiteral("北"));
        const QString updated = QStringLiteral("[S]\r\nNOME=José\r\nX=1\r\nY=北\r\n");
        QByteArray expected("\xFF\xFE");
        expected.append(reinterpret_cast<const char *>(updated.utf16()), updated.size() * 2);
        QCOMPARE(readAll(utf16), expected);

        writeAll(utf16, expected + "\x41");
        QCOMPARE(b.ReadString("S", "Y", ""), QStringLiteral("北"));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, b.WriteString("S", "Z", "1"));
        QCOMPARE(readAll(utf16), expected + "\x41");
    }

    void typedValues()
    {
        const QString file = path("typed.ini");
        writeAll(file, "[T]\r\nhex=0x1F\r\nHEX2=0XfF\r\nbad=12abc\r\nempty=\r\nneg=-42\r\nx=0x\r\nall=0xFFFFFFFF\r\n"
                       "big=99999999999\r\nb2=2\r\nbm1=-1\r\nb0=0\r\nyes=yes\r\nf=abc\r\n");
        TIniFile ini(file);
        QCOMPARE(ini.ReadInteger("T", "hex", 7), 31);
        QCOMPARE(ini.ReadInteger("T", "hex2", 7), 255);
        QCOMPARE(ini.ReadInteger("T", "bad", 7), 7);
        QCOMPARE(ini.ReadInteger("T", "empty", 7), 7);
        QCOMPARE(ini.ReadInteger("T", "neg", 7), -42);
        QCOMPARE(ini.ReadInteger("T", "x", 7), 7);
        QCOMPARE(ini.ReadInteger("T", "all", 7), -1);
        QCOMPARE(ini.ReadInteger("T", "big", 7), 7);
        QCOMPARE(ini.ReadBool("T", "b2", false), true);
        QCOMPARE(ini.ReadBool("T", "bm1", false), true);
        QCOMPARE(ini.ReadBool("T", "b0", true), false);
        QCOMPARE(ini.ReadBool("T", "yes", true), true);
        QCOMPARE(ini.ReadBool("T", "yes", false), false);
        QCOMPARE(ini.ReadFloat("T", "f", 1.5), 1.5);
        QCOMPARE(ini.ReadFloat("T", "empty", 1.5), 1.5);
        QCOMPARE(ini.ReadDate("T", "f", QDate(2001, 2, 3)), QDate(2001, 2, 3));

        ini.WriteInteger("T", "i", -2147483647 - 1);
        QCOMPARE(ini.ReadString("T", "i", ""), QStringLiteral("-2147483648"));
        ini.WriteBool("T", "b", true);
        QCOMPARE(ini.ReadString("T", "b", ""), QStringLiteral("1"));
        for (double v : {0.1, -1234567.891, 1e20, 3.0e-7}) {
            ini.WriteFloat("T", "fl", v);
            QCOMPARE(ini.ReadFloat("T", "fl", 0), v);
        }
        for (const QDate &d : {QDate(2024, 2, 29), QDate(1999, 12, 31), QDate(2060, 1, 1)}) {
            ini.WriteDate("T", "d", d);
            QCOMPARE(ini.ReadDate("T", "d", QDate()), d);
        }
        ini.WriteString("T", "vazio", "");
        QVERIFY(ini.ValueExists("t", "VAZIO"));
        QVERIFY(!ini.ValueExists("t", "nada"));
        QVERIFY(!ini.ValueExists("outra", "vazio"));

        const QString longValue = QString(2047, u'a') + QString(953, u'b');
        ini.WriteString("T", "long", longValue);
        QCOMPARE(ini.ReadString("T", "long", ""), longValue.left(2047));
    }

    void saveAndLoadConfig()
    {
        const QString file = path("config.ini");
        SaveConfigFile(file, "S", "txt", QStringLiteral("a\r\nb"));
        QVERIFY(readAll(file).contains("txt=a@@13@@10b\r\n"));
        QCOMPARE(LoadConfigFile(file, "S", "txt", QString()), QVariant(QStringLiteral("a\r\nb")));
        TIniFile(file).WriteString("S", "marker", "x@@10y@@13");
        QCOMPARE(LoadConfigFile(file, "S", "marker", QString()).toString(), QStringLiteral("x\ny\r"));
        QCOMPARE(LoadConfigFile(path("none.ini"), "S", "k", QStringLiteral("p@@13q")).toString(), QStringLiteral("p\rq"));

        SaveConfigFile(file, "S", "bytes", QByteArray("abc"));
        QCOMPARE(LoadConfigFile(file, "S", "bytes", QByteArray()), QVariant(QStringLiteral("abc")));
        SaveConfigFile(file, "S", "short", QVariant::fromValue<short>(-5));
        const QVariant i = LoadConfigFile(file, "S", "short", QVariant::fromValue<short>(0));
        QCOMPARE(i.metaType().id(), int(QMetaType::Int));
        QCOMPARE(i.toInt(), -5);
        SaveConfigFile(file, "S", "f", QVariant::fromValue(2.5f));
        const QVariant f = LoadConfigFile(file, "S", "f", QVariant::fromValue(0.0f));
        QCOMPARE(f.metaType().id(), int(QMetaType::Double));
        QCOMPARE(f.toDouble(), 2.5);
        SaveConfigFile(file, "S", "b", true);
        QCOMPARE(LoadConfigFile(file, "S", "b", false), QVariant(true));
        SaveConfigFile(file, "S", "when", QDateTime(QDate(2023, 5, 6), QTime(13, 14, 15)));
        QCOMPARE(LoadConfigFile(file, "S", "when", QDateTime()).toDate(), QDate(2023, 5, 6));
        QCOMPARE(LoadConfigFile(file, "S", "when", QDateTime()).toDateTime().time(), QTime(0, 0));
        SaveConfigFile(file, "S", "ll", QVariant::fromValue<qlonglong>(-7));
        QCOMPARE(LoadConfigFile(file, "S", "ll", QVariant::fromValue<qlonglong>(5000000000LL)).toInt(), -7);
        QCOMPARE(LoadConfigFile(file, "S", "nada", QVariant::fromValue<qlonglong>(5000000000LL)).toInt(), 2147483647);
        QVERIFY_THROWS_EXCEPTION(KrError, SaveConfigFile(file, "S", "ll", QVariant::fromValue<qlonglong>(5000000000LL)));
        QCOMPARE(LoadConfigFile(file, "S", "ll", 0).toInt(), -7);

        // Kinds that are never stored: no file is created, defaults come back unread.
        const QString untouched = path("untouched.ini");
        SaveConfigFile(untouched, "S", "u", QVariant::fromValue<uint>(5));
        SaveConfigFile(untouched, "S", "e", QVariant());
        SaveConfigFile(untouched, "S", "n", QVariant::fromValue(nullptr));
        SaveConfigFile(untouched, "S", "l", QStringList{"a"});
        QVERIFY(!QFile::exists(untouched));
        QVERIFY(!LoadConfigFile(file, "S", "txt", QVariant()).isValid());
        QCOMPARE(LoadConfigFile(file, "S", "txt", QVariant::fromValue(nullptr)).metaType().id(), int(QMetaType::Nullptr));
        QCOMPARE(LoadConfigFile(file, "S", "short", QVariant::fromValue<uint>(9)), QVariant::fromValue<uint>(9));
    }

    void damagedFilesGiveDefaults()
    {
        const QString empty = path("empty.ini");
        writeAll(empty, "");
        QCOMPARE(TIniFile(empty).ReadInteger("S", "K", 3), 3);

        const QString binary = path("binary.ini");
        QByteArray junk;
        for (int n = 0; n < 70000; ++n)
            junk.append(char((n * 7919 + n / 13) & 0xFF));
        writeAll(binary, junk);
        TIniFile bin(binary);
        QCOMPARE(bin.ReadString("IBCONFIG", "SERVIDOR", "d"), QStringLiteral("d"));
        bin.WriteString("IBCONFIG", "SERVIDOR", "srv");
        QCOMPARE(bin.ReadString("IBCONFIG", "SERVIDOR", "d"), QStringLiteral("srv"));
        QVERIFY(readAll(binary).startsWith(junk));

        // Far beyond any settings file: defaults, and a write refuses to touch it.
        const QString huge = path("huge.ini");
        {
            QFile f(huge);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[S]\r\nK=1\r\n");
            QVERIFY(f.resize(40 * 1024 * 1024));
        }
        TIniFile big(huge);
        QCOMPARE(big.ReadString("S", "K", "d"), QStringLiteral("d"));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, big.WriteString("S", "K", "2"));
        QCOMPARE(QFileInfo(huge).size(), 40 * 1024 * 1024);
    }

    // Several writes land together: the file changes once, with all of them.
    void batchReplacesTheFileOnceWithEveryWrite()
    {
        const QString file = path("lote.ini");
        writeAll(file, "; ERP\r\n[IBCONFIG]\r\nIP=servidor\r\nLOCAL=C:\\Dados\\DB.FDB\r\n\r\n[OUTRA]\r\nX=1\r\n");
#ifndef Q_OS_WIN
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0640), 0);
#endif
        const QByteArray before = readAll(file);
        TIniBatch batch(file);
        batch.WriteStringIfAbsent("IBCONFIG", "IP", "127.0.0.1");
        batch.WriteStringIfAbsent("ibconfig", "USUARIO", "");
        batch.WriteStringIfAbsent("IBCONFIG", "SENHA", "");
        batch.WriteBoolIfAbsent("IBCONFIG", "USACONFIG", false);
        batch.WriteString("OUTRA", "X", QStringLiteral("ação"));
        batch.WriteValue("NOVA", "TEXTO", QStringLiteral("a\nb"));
        batch.WriteValue("NOVA", "N", qlonglong(7));
        QCOMPARE(readAll(file), before); // nothing before the commit
        batch.Commit();
        QCOMPARE(readAll(file), cp1252(QStringLiteral("; ERP\r\n[IBCONFIG]\r\nIP=servidor\r\nLOCAL=C:\\Dados\\DB.FDB\r\n"
                                                      "USUARIO=\r\nSENHA=\r\nUSACONFIG=0\r\n\r\n[OUTRA]\r\nX=ação\r\n"
                                                      "[NOVA]\r\nTEXTO=a@@10b\r\nN=7\r\n")));
        QCOMPARE(LoadConfigFile(file, "NOVA", "TEXTO", QString()).toString(), QStringLiteral("a\nb"));
#ifndef Q_OS_WIN
        // Windows keeps the replaced file's attributes and access list instead
        // (ReplaceFileW), which tests/platform checks on Windows itself: Wine
        // carries neither over.
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
#endif
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("lote").size(), 1);
    }

    // A write that cannot be stored refuses the whole batch, the writes
    // before it included.
    void batchIsAllOrNothing()
    {
        const QString file = path("tudo.ini");
        writeAll(file, "[S]\r\nA=1\r\n");
        TIniBatch batch(file);
        batch.WriteString("S", "A", "2");
        batch.WriteString("S", "B", "3");
        batch.WriteString("S", "C", QStringLiteral("北京"));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, batch.Commit());
        QCOMPARE(readAll(file), QByteArray("[S]\r\nA=1\r\n"));
        // A refused name is refused when it is queued.
        QVERIFY_THROWS_EXCEPTION(EIniFileException, batch.WriteString("S", "D=E", "1"));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, batch.WriteString("S", "D", "1\r\n2"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("tudo").size(), 1);
    }

    // "If absent" looks at the file as the commit finds it, so a key another
    // program wrote meanwhile is kept.
    void batchIfAbsentLooksAtTheFileWhenCommitting()
    {
        const QString file = path("depois.ini");
        writeAll(file, "[S]\r\n");
        TIniBatch batch(file);
        batch.WriteStringIfAbsent("S", "K", "padrao");
        writeAll(file, "[S]\r\nK=do ERP\r\n");
        batch.Commit();
        QCOMPARE(readAll(file), QByteArray("[S]\r\nK=do ERP\r\n"));
    }

    void batchNewFilePermissionsAndUnchangedFiles()
    {
        const QString file = path("segredo.ini");
        TIniBatch empty(file);
        empty.SetNewFilePermissions(QFile::ReadOwner | QFile::WriteOwner);
        empty.Commit();
        QVERIFY(!QFile::exists(file)); // nothing to write, nothing created

#ifndef Q_OS_WIN
        const mode_t mask = ::umask(022);
#endif
        TIniBatch batch(file);
        batch.WriteString("MySQL", "Password", "x");
        batch.SetNewFilePermissions(QFile::ReadOwner | QFile::WriteOwner);
        batch.Commit();
        QCOMPARE(readAll(file), QByteArray("[MySQL]\r\nPassword=x\r\n"));
#ifndef Q_OS_WIN
        ::umask(mask);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
        const ino_t inode = st.st_ino;
#else
        // No mode bits: the folder's access list, as a file the ERP made there
        // has, so every user the start-up entry starts the program for can use it.
        const QString erp = path("norvacomercio.ini");
        writeAll(erp, "[IBCONFIG]\r\n");
        QVERIFY(!AccessList(erp).isEmpty());
        QCOMPARE(AccessList(file), AccessList(erp));
#endif

        // The same values again: the file is not replaced, so it keeps the
        // time it was last written.
        const QDateTime written(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(written, QFileDevice::FileModificationTime));
        }
        TIniBatch same(file);
        same.WriteString("MySQL", "Password", "x");
        same.WriteStringIfAbsent("MySQL", "Password", "y");
        same.Commit();
        QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime).toUTC(), written);
#ifndef Q_OS_WIN
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        QCOMPARE(st.st_ino, inode);
#endif
    }

    void unwritablePlaces()
    {
        const QString plain = path("plainfile");
        writeAll(plain, "x");
        const QString underFile = plain + "/settings.ini";
        TIniFile a(underFile);
        QCOMPARE(a.ReadString("S", "K", "d"), QStringLiteral("d"));
        try {
            a.WriteString("S", "K", "v");
            QFAIL("write under a regular file succeeded");
        } catch (const EIniFileException &e) {
            QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + underFile);
        }

        const QString dirPath = path("adir.ini");
        QVERIFY(QDir().mkpath(dirPath + "/inner"));
        TIniFile b(dirPath);
        QCOMPARE(b.ReadInteger("S", "K", 4), 4);
        QVERIFY(!b.ValueExists("S", "K"));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, b.WriteInteger("S", "K", 1));
        QVERIFY(QFileInfo(dirPath + "/inner").isDir());
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("adir").size(), 0);
    }
};

QTEST_GUILESS_MAIN(TstIniFile)
#include "tst_inifile.moc"
