// Paints a button face in every gradient style, prints what one paint costs
// and, given a file name, saves the faces as one sheet:
//   bench_gradients docs/gradients.png
#include "uikit/kr_graphics.h"
#include "uikit/kr_theme.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    constexpr int FaceWidth = 120, FaceHeight = 44, Columns = 6, Gap = 8;
    const int rows = (GradientTypeCount + Columns - 1) / Columns;
    QImage sheet(Columns * (FaceWidth + Gap) + Gap, rows * (FaceHeight + Gap) + Gap, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter canvas(&sheet);
    canvas.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));

    TKRArtistic artistic;
    GenerateSchemeColors(artistic, tcAzul);
    artistic.BorderWidth = 1;
    const char *names[GradientTypeCount] = {
        "gtRadialC", "gtRadialT", "gtRadialB", "gtRadialL", "gtRadialR", "gtRadialTL", "gtRadialTR",
        "gtRadialBL", "gtRadialBR", "gtLinearH", "gtLinearV", "gtReflectedH", "gtReflectedV", "gtDiagonalLF",
        "gtDiagonalLB", "gtDiagonalRF", "gtDiagonalRB", "gtArrowL", "gtArrowR", "gtArrowU", "gtArrowD",
        "gtDiamond", "gtButterfly", "gtLight", "gtFlat", "gtChamuscado", "gtXadrez",
    };

    constexpr int Repeats = 200;
    for (int t = 0; t < GradientTypeCount; ++t) {
        artistic.GradientType = TKRGradientType(t);
        QImage face(FaceWidth, FaceHeight, QImage::Format_RGB32);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Repeats; ++i) {
            QPainter p(&face);
            artistic.PaintControlFace(p, psFocused);
        }
        std::printf("%-14s %8.1f us per face\n", names[t], timer.nsecsElapsed() / 1000.0 / Repeats);

        const QPoint at(Gap + (t % Columns) * (FaceWidth + Gap), Gap + (t / Columns) * (FaceHeight + Gap));
        canvas.drawImage(at, face);
        canvas.setPen(Qt::black);
        artistic.DrawAlignedText(canvas, QRect(at, face.size()), haCenter, 1, QString::fromLatin1(names[t]),
                                 vaCenter);
    }
    canvas.end();
    if (argc > 1 && !sheet.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
