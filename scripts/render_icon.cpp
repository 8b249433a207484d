// Writes the tray artwork as one PNG per size, for scripts/make-icon.sh to
// pack into the Windows executable's icon, so both show the same picture.
#include "app/app_artwork.h"

#include <QGuiApplication>
#include <QPixmap>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    // Windows shows the 256-pixel image in large icon views.
    for (int size : {16, 24, 32, 48, 64, 256}) {
        const QPixmap pm = TrayArtworkAt(size);
        if (pm.width() != size || !pm.save(QStringLiteral("%1/icon-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(size)))
            return 1;
    }
    return 0;
}
