#include "erp/kr_scramble.h"

#include "base/kr_error.h"

#include <QCoreApplication>
#include <QRandomGenerator>

const std::array<const char *, 260> PairCodeTable = {
    "#s", "^b", "dH", "U~", "'.", "*y", "a-", "/L", "+e", "L\?",
    "n;", "M4", "@:", "t5", "i6", "iH", "C|", "z:", "pc", "QR",
    "1T", "G`", "{=", "~<", "Lb", "vr", "]#", "(B", "o-", "Tj",
    "6w", "Dx", "jD", "vI", "Mx", "<M", "na", "nE", "nb", "Bw",
    "$r", "):", "+$", "lq", "ou", "H^", "xT", "yx", "Hr", "HE",
    "kG", "Z8", "zF", "E2", "1K", "3E", "DY", "I\"", "Cx", "3c",
    "&v", "E/", "Gf", "x@", "1s", "xY", "jt", "EQ", "aa", "zU",
    ";`", ",}", "DZ", "!w", "\\s", "_W", "83", "o@", "o5", "]~",
    "pz", "=Y", "y|", "Y(", "_z", "Al", "VF", "sB", "6@", "IQ",
    ")\\", "[F", "dC", "s~", "@2", "F,", "|s", "'m", "t;", "eo",
    "!>", "b)", "l'", "ab", "'A", "Be", "f>", "Xr", "^s", "Zh",
    ",8", "G7", "7z", "yF", "P@", "oE", "\\[", "t[", "HM", "\\-",
    "@S", "Qp", "e-", "BN", "-i", "k2", "P.", "kR", ">J", "\"F",
    "sv", "9E", "rf", "Z*", "<>", "TI", " }", "hc", "o|", ".<",
    "\?P", "mk", "S\"", "\\K", "rZ", "#(", "}X", "4y", "Mq", "-:",
    "v!", ";M", "%#", "%t", ",`", "Bb", "BZ", "y*", "~a", "%5",
    "Gl", "(0", "T=", "Vn", "Qq", "m`", "6N", "v=", "|B", "'F",
    "})", "x2", "Ob", "Q0", "#-", "`P", "LG", ".U", "}O", "DV",
    "Ar", "KX", "@p", ":z", "|.", "qB", "y!", "JL", "U/", "nL",
    "](", "Y+", "%I", "cD", "Eq", ".!", "SA", "$+", "}d", "<S",
    "2.", "m&", "aM", "9z", ";^", "pH", "sx", ".f", "2@", "C\?",
    "m9", "4Y", "8>", ";m", "H%", "lw", "l ", "^P", "22", "we",
    "+C", "U@", "Jf", "W[", "nH", "!h", "s8", "{Y", "'h", "wR",
    "W\"", "Ne", "MW", " #", "V7", "R\"", "4K", "C}", "xk", "~n",
    ">)", "zu", "e{", "NN", "wq", "`0", "QJ", ".Q", "qH", "UX",
    "bd", "*g", "n&", ")\"", "M=", "bL", "_e", "A(", "W&", "ex",
};

namespace {

// Code of the character that stands for a pair missing from the table; it is
// no hexadecimal digit, so unscrambling stops at it.
constexpr char16_t UnknownPairCode = 261;

void checkKey(const QString &key)
{
    if (key.isEmpty())
        throw KrError(QStringLiteral("Chave de embaralhamento vazia."));
    for (QChar c : key)
        if (c.unicode() > 255)
            throw KrError(QStringLiteral("Chave de embaralhamento inválida."));
}

void appendHex(QString &out, uint v)
{
    static const char digits[] = "0123456789ABCDEF";
    out.append(QLatin1Char(digits[(v >> 4) & 0xF]));
    out.append(QLatin1Char(digits[v & 0xF]));
}

// The pair at 0-based position p (one character where the text ends there).
uint hexAt(const QString &text, qsizetype p)
{
    const QString pair = text.mid(p, 2);
    bool ok = !pair.isEmpty();
    for (QChar c : pair) {
        const char16_t u = c.unicode();
        ok = ok && ((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F'));
    }
    if (!ok)
        throw KrError(QStringLiteral("'%1' is not a valid integer value").arg(pair));
    return pair.toUInt(nullptr, 16);
}

QString scramble(const QString &text, const QString &key)
{
    const uint start = QRandomGenerator::global()->bounded(256u);
    QString out;
    out.reserve(2 * text.size() + 2);
    appendHex(out, start);
    uint prev = start;
    qsizetype k = 0;
    for (QChar c : text) {
        // Long values must not freeze the window: let it handle its events.
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        uint v = (prev + c.unicode()) % 255;
        k = k < key.size() ? k + 1 : 1;
        v ^= key[k - 1].unicode();
        appendHex(out, v);
        prev = v;
    }
    return out;
}

QString unscramble(const QString &text, const QString &key)
{
    uint prev = hexAt(text, 0);
    QString out;
    qsizetype p = 2, k = 0;
    do {
        const uint v = hexAt(text, p);
        k = k < key.size() ? k + 1 : 1;
        const uint t = v ^ key[k - 1].unicode();
        out.append(QChar(char16_t(t > prev ? t - prev : t + 255 - prev)));
        prev = v;
        p += 2;
    } while (p + 1 < text.size());
    return out;
}

} // namespace

QString HexScramble(const QString &mode, const QString &text, const QString &key)
{
    if (text.isEmpty())
        return QString();
    if (mode != u"C" && mode != u"D")
        return QString();
    checkKey(key);
    return mode == u"C" ? scramble(text, key) : unscramble(text, key);
}

QString ScrambleValue(const QString &text, const QString &key)
{
    const QString hex = HexScramble(QStringLiteral("C"), text, key);
    QString out;
    out.reserve(hex.size() * 2);
    for (QChar h : hex)
        out.append(QLatin1StringView(PairCodeTable[h.unicode() - 1]));
    return out;
}

QString UnscrambleValue(const QString &stored, const QString &key)
{
    QString hex;
    for (qsizetype i = 0; i + 1 < stored.size(); i += 2) {
        const QStringView pair = QStringView(stored).sliced(i, 2);
        char16_t code = UnknownPairCode;
        for (std::size_t n = 0; n < PairCodeTable.size(); ++n) {
            if (pair == QLatin1StringView(PairCodeTable[n])) {
                code = char16_t(n + 1);
                break;
            }
        }
        hex.append(QChar(code));
    }
    return HexScramble(QStringLiteral("D"), hex, key);
}
