#include "base/kr_inifile.h"
#include "erp/kr_scramble.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
QString pairsOf(const QString &hex)
{
    QString stored;
    for (QChar h : hex)
        stored += QLatin1StringView(PairCodeTable[h.unicode() - 1]);
    return stored;
}

uint hexValue(const QString &hex, qsizetype pos)
{
    return hex.mid(pos, 2).toUInt(nullptr, 16);
}
} // namespace

class TstScramble : public QObject
{
    Q_OBJECT

private slots:
    void tableIsUsableInIniFiles()
    {
        QSet<QString> seen;
        for (const char *entry : PairCodeTable) {
            const QString pair = QString::fromLatin1(entry);
            QCOMPARE(pair.size(), 2);
            for (QChar c : pair)
                QVERIFY(c.unicode() >= 32 && c.unicode() <= 126);
            seen.insert(pair);
        }
        QCOMPARE(seen.size(), 260);
        for (char digit : QByteArrayView("0123456789ABCDEF")) {
            const QString pair = QString::fromLatin1(PairCodeTable[uchar(digit) - 1]);
            for (QChar c : pair)
                QVERIFY2(c.isLetterOrNumber(), qPrintable(pair));
        }
    }

    // Fixed vectors: stored values of other installations must keep reading.
    void knownVectorsDecode()
    {
        // start 0x10; 'A': ((0x10 + 0x41) % 255) ^ 'K' = 0x1A; 'B': ((0x1A + 0x42) % 255) ^ 'X' = 0x04;
        // 'A' again with 'K': ((0x04 + 0x41) % 255) ^ 'K' = 0x0E
        QCOMPARE(HexScramble("D", "101A040E", "KX"), QStringLiteral("ABA"));
        QCOMPARE(HexScramble("D", "101a040e", "KX"), QStringLiteral("ABA"));
        QCOMPARE(UnscrambleValue(pairsOf("101A040E"), "KX"), QStringLiteral("ABA"));
        // A key longer than the text uses only its first characters.
        QCOMPARE(HexScramble("D", "101A040E", "KXKLONGER"), QStringLiteral("ABA"));
        // After a previous code of 255, code 255 scrambles to 0 and comes back as 0.
        QCOMPARE(HexScramble("D", "FF00", QString(QChar(0))), QString(QChar(0)));
        QCOMPARE(HexScramble("D", "00FF", QString(QChar(0))), QString(QChar(255)));
    }

    void roundTrips()
    {
        QCOMPARE(ScrambleValue("", TRESVOLA), QString());
        QCOMPARE(UnscrambleValue("", TRESVOLA), QString());
        QCOMPARE(UnscrambleValue("x", TRESVOLA), QString());
        QCOMPARE(HexScramble("C", "a", TRESVOLA).size(), 4);
        QCOMPARE(ScrambleValue("a", TRESVOLA).size(), 8);
        QCOMPARE(HexScramble("c", "a", TRESVOLA), QString());
        QCOMPARE(HexScramble("d", "0000", TRESVOLA), QString());
        QCOMPARE(HexScramble("X", "", TRESVOLA), QString());

        QSet<QString> forms;
        for (int n = 0; n < 20; ++n) {
            const QString stored = ScrambleValue("SYSDBA", TRESVOLA);
            QCOMPARE(stored.size(), 4 * 6 + 4);
            QCOMPARE(UnscrambleValue(stored, TRESVOLA), QStringLiteral("SYSDBA"));
            forms.insert(stored);
        }
        QVERIFY(forms.size() > 1);

        QString every;
        for (int c = 1; c <= 254; ++c)
            every.append(QChar(c));
        for (const QString &key : {TRESVOLA, RevendaScrambleKey, QStringLiteral("k"), QStringLiteral("\xFF\x01")}) {
            for (int n = 0; n < 5; ++n)
                QCOMPARE(UnscrambleValue(ScrambleValue(every, key), key), every);
        }
        const QString hex = HexScramble("C", "Ção", TRESVOLA);
        QCOMPARE(hex, hex.toUpper());
    }

    // Codes 0, 255 and above 255 come back by the documented rules, for
    // whatever start value and previous code the scrambling drew.
    void codesAtTheEdges()
    {
        const QString text = QString(QChar(255)) + QChar(0) + QChar(255) + QChar(255) + QChar(0x20AC) + QChar(0)
                             + QChar(300) + QChar(510);
        for (int n = 0; n < 300; ++n) {
            const QString hex = HexScramble("C", text, "Q");
            const QString back = HexScramble("D", hex, "Q");
            QCOMPARE(back.size(), text.size());
            for (qsizetype i = 0; i < text.size(); ++i) {
                const bool prevWas255 = hexValue(hex, 2 * i) == 255;
                uint wanted = text[i].unicode() % 255;
                if (wanted == 0)
                    wanted = prevWas255 ? 0 : 255;
                QCOMPARE(uint(back[i].unicode()), wanted);
            }
        }
    }

    void damagedStoredForms()
    {
        const QString good = ScrambleValue("senha", TRESVOLA);
        for (int len = 2; len <= 5; ++len)
            QVERIFY_THROWS_EXCEPTION(KrError, UnscrambleValue(good.left(len), TRESVOLA));
        QCOMPARE(UnscrambleValue(good + "\r\n", TRESVOLA), QStringLiteral("senha"));
        QCOMPARE(UnscrambleValue(good + "\r", TRESVOLA), QStringLiteral("senha"));
        QVERIFY_THROWS_EXCEPTION(KrError, UnscrambleValue(good + "\r\n\r\n", TRESVOLA));
        QVERIFY_THROWS_EXCEPTION(KrError, UnscrambleValue(good.left(8) + "\r\n" + good.mid(8), TRESVOLA));
        // A table entry that is no hex digit ('G' is code 71).
        QVERIFY_THROWS_EXCEPTION(KrError, UnscrambleValue(pairsOf("10G1"), TRESVOLA));
        try {
            HexScramble("D", "10Z1", TRESVOLA);
            QFAIL("no error");
        } catch (const KrError &e) {
            QCOMPARE(e.message(), QStringLiteral("'Z1' is not a valid integer value"));
        }
        QVERIFY_THROWS_EXCEPTION(KrError, ScrambleValue("x", ""));
        QVERIFY_THROWS_EXCEPTION(KrError, ScrambleValue("x", QStringLiteral("€")));
    }

    void storedValuesSurviveTheIniStore()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("DBEMPRESA.INI");
        TIniFile ini(file);
        for (int n = 0; n < 50; ++n) {
            QString secret; // codes 1..254 always come back unchanged
            for (int c = 0; c < 12; ++c)
                secret.append(QChar(char16_t(QRandomGenerator::global()->bounded(1, 255))));
            ini.WriteString("IBCONFIG", "SENHA", ScrambleValue(secret, TRESVOLA));
            QCOMPARE(UnscrambleValue(ini.ReadString("IBCONFIG", "SENHA", ""), TRESVOLA), secret);
            SaveConfigFile(file, "IBCONFIG", "USUARIO", ScrambleValue(secret, TRESVOLA));
            QCOMPARE(UnscrambleValue(LoadConfigFile(file, "IBCONFIG", "USUARIO", QString()).toString(), TRESVOLA), secret);
        }
    }

    void scramblingKeepsTheWindowAlive()
    {
        int fired = 0;
        QTimer::singleShot(0, this, [&] { ++fired; });
        const QString stored = ScrambleValue("abc", TRESVOLA);
        QCOMPARE(fired, 1);
        QTimer::singleShot(0, this, [&] { ++fired; });
        UnscrambleValue(stored, TRESVOLA);
        QCOMPARE(fired, 1);
        QCoreApplication::processEvents();
        QCOMPARE(fired, 2);
    }
};

QTEST_GUILESS_MAIN(TstScramble)
#include "tst_scramble.moc"
