#include "app/app_fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace {

bool HasFamily(const QString &family)
{
    return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

void SubstituteWhenMissing(const QString &family, const QStringList &standIns)
{
    if (HasFamily(family))
        return;
    for (const QString &standIn : standIns) {
        if (HasFamily(standIn)) {
            QFont::insertSubstitution(family, standIn);
            return;
        }
    }
}

} // namespace

void UseDesignFonts()
{
    SubstituteWhenMissing(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    // DejaVu Sans Condensed has Tahoma's widths within about 1 % and a real
    // bold. Wine's own Tahoma, its nearest relative, is no stand-in outside
    // Wine: its bold draws the regular glyphs, and its ascent cuts the tilde
    // of a capital Ã.
    SubstituteWhenMissing(QStringLiteral("Tahoma"),
                          {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans")});
}

QString ResolvedFamily(const QString &requested)
{
    return QFontInfo(QFont(requested)).family();
}
