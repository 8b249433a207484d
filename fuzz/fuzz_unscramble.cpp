// The unscrambler on any stored text: it gives a text or raises KrError,
// nothing else; and whatever a user may type (codes 1 to 254) comes back
// unchanged after scrambling.
#include "base/kr_error.h"
#include "erp/kr_scramble.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const QString key = QString::fromLatin1(in.Piece());
    const QByteArray rest = in.Rest();
    const QString stored = QString::fromLatin1(rest);
    for (const QString &k : {TRESVOLA, RevendaScrambleKey, key}) {
        try {
            UnscrambleValue(stored, k);
        } catch (const KrError &) {
        }
        try {
            HexScramble(QStringLiteral("D"), stored, k);
        } catch (const KrError &) {
        }
    }

    QString plain;
    for (char c : rest)
        if (c != 0 && static_cast<unsigned char>(c) != 255)
            plain.append(QChar(char16_t(static_cast<unsigned char>(c))));
    const QString scrambled = ScrambleValue(plain, TRESVOLA);
    if (UnscrambleValue(scrambled, TRESVOLA) != plain)
        fuzz::Fail("a value did not come back after scrambling", plain);
    return 0;
}
