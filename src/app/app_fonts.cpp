#include "app/app_fonts.h"

#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace {

#ifndef Q_OS_WIN
// Debian's fonts-wine keeps its faces outside fontconfig's folders, so the
// program registers them itself. Windows has Tahoma, and these names would
// mean folders of whichever drive is current.
const char *const TahomaFiles[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
};
#endif

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
#ifndef Q_OS_WIN
    if (!HasFamily(QStringLiteral("Tahoma"))) {
        for (const char *file : TahomaFiles) {
            if (QFileInfo::exists(QString::fromLatin1(file)))
                QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
    }
#endif
    SubstituteWhenMissing(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    // Without Wine's face: closer in width than the generic fallback.
    SubstituteWhenMissing(QStringLiteral("Tahoma"), {QStringLiteral("Liberation Sans")});
}

QString ResolvedFamily(const QString &requested)
{
    return QFontInfo(QFont(requested)).family();
}
