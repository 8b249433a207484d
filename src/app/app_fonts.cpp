#include "app/app_fonts.h"

#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace {

// Debian's fonts-wine keeps its faces outside fontconfig's folders, so the
// program registers them itself.
const char *const TahomaFiles[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
};

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
    if (!HasFamily(QStringLiteral("Tahoma"))) {
        for (const char *file : TahomaFiles) {
            if (QFileInfo::exists(QString::fromLatin1(file)))
                QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
    }
    SubstituteWhenMissing(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    // Without Wine's face: closer in width than the generic fallback.
    SubstituteWhenMissing(QStringLiteral("Tahoma"), {QStringLiteral("Liberation Sans")});
}

QString ResolvedFamily(const QString &requested)
{
    return QFontInfo(QFont(requested)).family();
}
