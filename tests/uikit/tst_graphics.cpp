// Colour ramps, gradient patterns and control faces, checked pixel by pixel
// against values worked out by hand from the painting rules.
#include "uikit/kr_graphics.h"

#include <QApplication>
#include <QPainter>
#include <QtTest>

namespace {

constexpr TColor Black = MakeColorRef(0, 0, 0);
constexpr TColor White = MakeColorRef(255, 255, 255);

TColor Pixel(const QImage &image, int x, int y)
{
    return ToColorRef(QColor(image.pixel(x, y)));
}

TColor Grey(int level)
{
    return MakeColorRef(level, level, level);
}

// Each pair with equal ends, so a flat face shows exactly that colour.
TKRColors Solid(TColor face, TColor border, TColor sel)
{
    return {face, face, border, border, sel, sel};
}

// A 40 × 30 rounded face, flat, in greys: face 100, outline 50, ring 200.
QImage RoundedFace(int state, TColor back)
{
    TKRArtistic artistic;
    artistic.GradientType = gtFlat;
    artistic.NormalColors = Solid(Grey(100), Grey(50), Grey(200));
    artistic.FocusColors = artistic.NormalColors;
    QImage image(40, 30, QImage::Format_RGB32);
    QPainter p(&image);
    artistic.PaintRoundedFace(p, state, back);
    return image;
}

} // namespace

class TestGraphics : public QObject
{
    Q_OBJECT

private slots:
    void colourValuesKeepRedInTheLowByte()
    {
        QCOMPARE(FromColorRef(0x00FF8040u), QColor(0x40, 0x80, 0xFF));
        QCOMPARE(ToColorRef(QColor(1, 2, 3)), TColor(0x00030201u));
        QCOMPARE(MakeColorRef(255, 120, 47), TColor(0x002F78FFu));
        // A system-colour marker in the top byte is not part of the colour.
        QCOMPARE(PlainColor(0x80000005u), TColor(0x00000005u));
    }

    void roundingRules()
    {
        QCOMPARE(RoundHalfEven(2.5), 2);
        QCOMPARE(RoundHalfEven(3.5), 4);
        QCOMPARE(RoundHalfEven(-2.5), -2);
        QCOMPARE(RoundHalfEven(2.51), 3);
        // MulDiv rounds halves away from zero.
        QCOMPARE(MulDiv(255, 50, 100), 128);
        QCOMPARE(MulDiv(255, -50, 100), -128);
        QCOMPARE(MulDiv(-3, 1, 2), -2);
        QCOMPARE(MulDiv(255, 99, 100), 252);
        QCOMPARE(MulDiv(1, 1, 0), -1);
    }

    void plainRampRunsFromStartToEnd()
    {
        const TColor start = MakeColorRef(10, 20, 30);
        const TColor end = MakeColorRef(200, 100, 0);
        const TKRColorRamp ramp = BuildColorRamp(start, end, false, 0, 0);
        QCOMPARE(ramp[0], start);
        QCOMPARE(ramp[255], end);
        // 10 + 190*128/255 = 105; 20 + 80*128/255 = 60; 30 - 30*128/255 = 30 - 15 (truncated) = 15
        QCOMPARE(ramp[128], MakeColorRef(105, 60, 15));
        const TKRColorRamp grey = BuildColorRamp(Black, White, false, 0, 0);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(grey[i], Grey(i));
        const TKRColorRamp inverse = BuildColorRamp(start, end, true, 0, 0);
        QCOMPARE(inverse[0], end);
        QCOMPARE(inverse[255], start);
    }

    void shiftMovesOneEndTowardsTheOther()
    {
        const TColor end = MakeColorRef(255, 100, 0);
        // +50: start = 0 + MulDiv(255, 50, 100) = 128, 0 + MulDiv(100, 50, 100) = 50
        TKRColorRamp ramp = BuildColorRamp(Black, end, false, 0, 50);
        QCOMPARE(ramp[0], MakeColorRef(128, 50, 0));
        QCOMPARE(ramp[255], end);
        // -50: end = 255 + MulDiv(255, -50, 100) = 127, 100 - 50 = 50
        ramp = BuildColorRamp(Black, end, false, 0, -50);
        QCOMPARE(ramp[0], Black);
        QCOMPARE(ramp[255], MakeColorRef(127, 50, 0));
        // 100 makes the whole ramp the end colour.
        ramp = BuildColorRamp(Black, end, false, 0, 100);
        for (TColor c : ramp)
            QCOMPARE(c, end);
    }

    void positiveRotationFoldsBackToStart()
    {
        // m = MulDiv(255, 50, 100) = 128, k = 127
        const TKRColorRamp ramp = BuildColorRamp(Black, White, false, 50, 0);
        QCOMPARE(ramp[0], Grey(0));
        QCOMPARE(ramp[126], Grey(252)); // 32130/127 = 252.99
        QCOMPARE(ramp[127], Grey(255)); // 255*128/128
        QCOMPARE(ramp[200], Grey(109)); // 255*55/128
        QCOMPARE(ramp[255], Grey(0));
        // Full rotation reverses the ramp.
        const TKRColorRamp full = BuildColorRamp(Black, White, false, 100, 0);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(full[i], Grey(255 - i));
    }

    void negativeRotationStartsAtTheEnd()
    {
        // m = -128, k = 129: entries 0..128 from end to start, then back
        const TKRColorRamp ramp = BuildColorRamp(Black, White, false, -50, 0);
        QCOMPARE(ramp[0], Grey(255));
        QCOMPARE(ramp[64], Grey(128)); // 255 - 255*64/128 = 255 - 127
        QCOMPARE(ramp[128], Grey(0));
        QCOMPARE(ramp[129], Grey(3)); // 255 - 252
        QCOMPARE(ramp[255], Grey(255));
        const TKRColorRamp full = BuildColorRamp(Black, White, false, -100, 0);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(full[i], Grey(255 - i));
    }

    void rotationAndShiftBeyondTheirRangeAreClamped()
    {
        // A damaged settings file can hold 120: that must not index past the ramp.
        QCOMPARE(BuildColorRamp(Black, White, false, 120, 0), BuildColorRamp(Black, White, false, 100, 0));
        QCOMPARE(BuildColorRamp(Black, White, false, -128, 0), BuildColorRamp(Black, White, false, -100, 0));
        QCOMPARE(BuildColorRamp(Black, White, false, 0, 127), BuildColorRamp(Black, White, false, 0, 100));
    }

    void patternSizes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QSize>("size");
        const QList<QSize> sizes = {
            {362, 362}, {362, 181}, {362, 181}, {181, 362}, {181, 362}, {181, 181}, {181, 181},
            {181, 181}, {181, 181}, {256, 1},   {1, 256},   {1, 512},   {512, 1},   {128, 129},
            {128, 129}, {256, 256}, {256, 256}, {129, 256}, {129, 256}, {256, 129}, {256, 129},
            {256, 256}, {256, 256}, {1, 256},   {10, 10},   {200, 200}, {200, 200},
        };
        QCOMPARE(sizes.size(), GradientTypeCount);
        for (int t = 0; t < GradientTypeCount; ++t)
            QTest::addRow("%d", t) << t << sizes[t];
    }

    void patternSizes()
    {
        QFETCH(int, type);
        QFETCH(QSize, size);
        QCOMPARE(GradientPatternSize(TKRGradientType(type), QSize()), size);
        const TKRPattern pattern = BuildGradientPattern(TKRGradientType(type), QSize());
        QCOMPARE(QSize(pattern.Width, pattern.Height), size);
        QCOMPARE(pattern.Index.size(), size_t(size.width() * size.height()));
    }

    void patternPixels_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("index");
        struct P {
            TKRGradientType t;
            int x, y, index;
        };
        const P points[] = {
            // The centre sits between 180 and 181: both are at distance 0.
            {gtRadialC, 180, 180, 0}, {gtRadialC, 181, 181, 0}, {gtRadialC, 0, 0, 255},
            {gtRadialC, 361, 361, 255}, {gtRadialC, 180, 0, 180}, {gtRadialC, 100, 180, 80},
            {gtRadialC, 261, 180, 80}, {gtRadialC, 183, 184, 4}, // sqrt(2² + 3²) = 3.6
            {gtRadialT, 180, 0, 0}, {gtRadialT, 181, 0, 0}, {gtRadialT, 0, 0, 180}, {gtRadialT, 0, 180, 255},
            {gtRadialB, 180, 180, 0}, {gtRadialB, 180, 0, 180},
            {gtRadialL, 0, 180, 0}, {gtRadialL, 0, 181, 0}, {gtRadialL, 30, 221, 50},
            {gtRadialR, 180, 180, 0}, {gtRadialR, 150, 221, 50},
            {gtRadialTL, 0, 0, 0}, {gtRadialTL, 3, 4, 5}, {gtRadialTL, 1, 1, 1}, {gtRadialTL, 1, 2, 2},
            {gtRadialTL, 180, 180, 255},
            {gtRadialTR, 180, 0, 0}, {gtRadialTR, 177, 4, 5},
            {gtRadialBL, 0, 180, 0}, {gtRadialBL, 3, 176, 5},
            {gtRadialBR, 180, 180, 0}, {gtRadialBR, 177, 176, 5},
            {gtLinearH, 37, 0, 37}, {gtLinearV, 0, 200, 200},
            {gtReflectedH, 0, 0, 255}, {gtReflectedH, 0, 511, 255}, {gtReflectedH, 0, 255, 0},
            {gtReflectedH, 0, 256, 0}, {gtReflectedH, 0, 10, 245}, {gtReflectedH, 0, 501, 245},
            {gtReflectedV, 0, 0, 255}, {gtReflectedV, 511, 0, 255}, {gtReflectedV, 256, 0, 0},
            {gtReflectedV, 501, 0, 245},
            {gtDiagonalLF, 127, 128, 255}, {gtDiagonalLF, 10, 20, 30},
            {gtDiagonalLB, 127, 0, 0}, {gtDiagonalLB, 0, 128, 255}, {gtDiagonalLB, 10, 20, 137},
            {gtDiagonalRF, 0, 0, 255}, {gtDiagonalRF, 255, 0, 0}, {gtDiagonalRF, 254, 0, 1},
            {gtDiagonalRF, 255, 255, 255}, {gtDiagonalRF, 100, 200, 45},
            {gtDiagonalRB, 10, 3, 7}, {gtDiagonalRB, 3, 10, 7}, {gtDiagonalRB, 5, 5, 0},
            {gtArrowL, 0, 0, 255}, {gtArrowL, 128, 127, 0}, {gtArrowL, 128, 128, 0}, {gtArrowL, 0, 255, 255},
            {gtArrowL, 10, 200, 190},
            {gtArrowR, 0, 127, 0}, {gtArrowR, 128, 0, 255}, {gtArrowR, 0, 128, 0}, {gtArrowR, 128, 255, 255},
            {gtArrowU, 0, 0, 255}, {gtArrowU, 127, 128, 0}, {gtArrowU, 128, 128, 0}, {gtArrowU, 255, 0, 255},
            {gtArrowU, 200, 10, 190},
            {gtArrowD, 127, 0, 0}, {gtArrowD, 0, 128, 255}, {gtArrowD, 128, 0, 0}, {gtArrowD, 255, 128, 255},
            {gtDiamond, 0, 0, 255}, {gtDiamond, 255, 0, 255}, {gtDiamond, 0, 255, 255},
            {gtDiamond, 255, 255, 255}, {gtDiamond, 127, 127, 1}, {gtDiamond, 128, 127, 1},
            {gtDiamond, 127, 128, 1}, {gtDiamond, 128, 128, 1},
            {gtButterfly, 0, 0, 128}, {gtButterfly, 127, 0, 255}, {gtButterfly, 128, 0, 255},
            {gtButterfly, 255, 0, 128}, {gtButterfly, 0, 128, 0}, {gtButterfly, 0, 255, 127},
            {gtButterfly, 255, 255, 128},
            {gtLight, 0, 0, 0}, {gtLight, 0, 127, 127}, {gtLight, 0, 128, 255}, {gtLight, 0, 129, 254},
            {gtLight, 0, 130, 254}, {gtLight, 0, 131, 253}, {gtLight, 0, 132, 253}, {gtLight, 0, 255, 191},
            {gtFlat, 0, 0, 50}, {gtFlat, 9, 9, 50},
            {gtXadrez, 0, 0, 80}, {gtXadrez, 9, 9, 80}, {gtXadrez, 10, 0, 160}, {gtXadrez, 10, 10, 80},
            {gtXadrez, 199, 0, 160}, {gtXadrez, 35, 24, 160},
        };
        for (const P &p : points)
            QTest::addRow("%d@%d,%d", int(p.t), p.x, p.y) << int(p.t) << p.x << p.y << p.index;
    }

    void patternPixels()
    {
        QFETCH(int, type);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, index);
        QCOMPARE(BuildGradientPattern(TKRGradientType(type), QSize()).At(x, y), index);
    }

    void controlSizedStyles()
    {
        QCOMPARE(GradientPatternSize(gtXadrez, QSize(35, 25)), QSize(35, 25));
        QCOMPARE(GradientPatternSize(gtChamuscado, QSize(0, -5)), QSize(200, 200));
        QCOMPARE(GradientPatternSize(gtChamuscado, QSize(40, 0)), QSize(40, 200));
        const TKRPattern a = BuildGradientPattern(gtChamuscado, QSize(50, 40), 1);
        const TKRPattern b = BuildGradientPattern(gtChamuscado, QSize(50, 40), 1);
        const TKRPattern c = BuildGradientPattern(gtChamuscado, QSize(50, 40), 2);
        QCOMPARE(a.Index, b.Index);
        QVERIFY(a.Index != c.Index);
        QCOMPARE(*std::max_element(a.Index.begin(), a.Index.end()), quint8(254));
    }

    void renderedPatternTakesRampColours()
    {
        const TKRColorRamp ramp = BuildColorRamp(MakeColorRef(0, 0, 255), MakeColorRef(255, 0, 0), false, 0, 0);
        const QImage image = RenderGradientPattern(BuildGradientPattern(gtDiamond, QSize()), ramp);
        QCOMPARE(image.size(), QSize(256, 256));
        QCOMPARE(Pixel(image, 0, 0), ramp[255]);
        QCOMPARE(Pixel(image, 128, 128), ramp[1]);
        QCOMPARE(Pixel(image, 200, 10), ramp[190]);
    }

    void flatGradientUsesEntryFifty()
    {
        TKRArtistic artistic;
        artistic.GradientType = gtFlat;
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::green);
        {
            QPainter p(&image);
            artistic.PaintGradient(p, QRect(5, 5, 20, 10), Black, MakeColorRef(255, 0, 102));
        }
        // 255*50/255 = 50, 102*50/255 = 20: not the start colour
        QCOMPARE(Pixel(image, 5, 5), MakeColorRef(50, 0, 20));
        QCOMPARE(Pixel(image, 24, 14), MakeColorRef(50, 0, 20));
        QCOMPARE(Pixel(image, 4, 5), MakeColorRef(0, 255, 0));
        QCOMPARE(Pixel(image, 25, 14), MakeColorRef(0, 255, 0));
        QCOMPARE(Pixel(image, 24, 15), MakeColorRef(0, 255, 0));
    }

    void gradientIsStretchedOverTheRectangle()
    {
        TKRArtistic artistic;
        artistic.GradientType = gtLinearH;
        QImage image(512, 4, QImage::Format_RGB32);
        {
            QPainter p(&image);
            artistic.PaintGradient(p, image.rect(), Black, White);
        }
        for (int x : {0, 1, 2, 3, 200, 201, 510, 511})
            QCOMPARE(Pixel(image, x, 3), Grey(x / 2));
        artistic.GradientInverse = true;
        {
            QPainter p(&image);
            artistic.PaintGradient(p, image.rect(), Black, White);
        }
        QCOMPARE(Pixel(image, 0, 0), White);
        QCOMPARE(Pixel(image, 511, 0), Black);
    }

    void faceStatesPickTheirColoursAndRing_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("ring");
        QTest::newRow("normal") << 0 << false;
        QTest::newRow("focused") << 1 << true;
        QTest::newRow("hot") << 2 << true;
        QTest::newRow("pressed") << 3 << true;
        QTest::newRow("disabled") << 4 << false;
        QTest::newRow("static") << 5 << false;
    }

    void faceStatesPickTheirColoursAndRing()
    {
        QFETCH(int, state);
        QFETCH(bool, ring);
        TKRArtistic artistic;
        artistic.GradientType = gtFlat;
        artistic.BorderWidth = 2;
        artistic.NormalColors = Solid(Grey(10), Grey(11), Grey(12));
        artistic.FocusColors = Solid(Grey(20), Grey(21), Grey(22));
        artistic.HotColors = Solid(Grey(30), Grey(31), Grey(32));
        artistic.DisableColors = Solid(Grey(40), Grey(41), Grey(42));
        const int set[] = {10, 20, 30, 30, 40, 30};
        QImage image(20, 16, QImage::Format_RGB32);
        {
            QPainter p(&image);
            artistic.PaintControlFace(p, state);
        }
        const int base = set[state];
        QCOMPARE(Pixel(image, 0, 0), Grey(base + 1));
        QCOMPARE(Pixel(image, 1, 1), Grey(base + 1));
        QCOMPARE(Pixel(image, 19, 15), Grey(base + 1));
        QCOMPARE(Pixel(image, 2, 2), Grey(ring ? base + 2 : base));
        QCOMPARE(Pixel(image, 17, 13), Grey(ring ? base + 2 : base));
        QCOMPARE(Pixel(image, 3, 3), Grey(base));
        QCOMPARE(Pixel(image, 10, 8), Grey(base));
    }

    void pressedFaceReversesEveryGradient()
    {
        TKRArtistic artistic;
        artistic.GradientType = gtLinearH;
        artistic.BorderWidth = 1;
        artistic.HotColors = {Grey(100), Grey(200), Grey(1), Grey(2), Grey(50), Grey(60)};
        QImage image(64, 10, QImage::Format_RGB32);
        {
            QPainter p(&image);
            artistic.PaintControlFace(p, psPressed);
        }
        // Each gradient starts, on the left, with what was its end colour.
        QCOMPARE(Pixel(image, 0, 5), Grey(2));
        QCOMPARE(Pixel(image, 1, 5), Grey(60));
        QCOMPARE(Pixel(image, 2, 5), Grey(200));
        QVERIFY(ColorRefRed(Pixel(image, 61, 5)) < 105);
    }

    void roundedFaceCornersTakeTheBackground()
    {
        const TColor back = MakeColorRef(255, 0, 0);
        const QImage image = RoundedFace(psNormal, back);
        for (QPoint corner : {QPoint(0, 0), QPoint(39, 0), QPoint(0, 29), QPoint(39, 29), QPoint(1, 1)})
            QCOMPARE(Pixel(image, corner.x(), corner.y()), back);
        // Straight edges keep the outline, the inside keeps the face.
        QCOMPARE(Pixel(image, 20, 0), Grey(50));
        QCOMPARE(Pixel(image, 0, 15), Grey(50));
        QCOMPARE(Pixel(image, 39, 15), Grey(50));
        QCOMPARE(Pixel(image, 20, 29), Grey(50));
        QCOMPARE(Pixel(image, 5, 0), Grey(50));
        QCOMPARE(Pixel(image, 20, 15), Grey(100));
        QCOMPARE(Pixel(image, 3, 3), Grey(100));
    }

    void roundedFaceWalksToTheSelectionOutline()
    {
        // With a ring, the walk stops only at the ring's colour: the outer
        // outline gives way to the background along the walked columns
        // (0..10 on the left, the 14 columns right of 25 at the top right
        // with BorderWidth 1, 9 columns at the bottom right).
        const TColor back = MakeColorRef(255, 0, 0);
        const QImage image = RoundedFace(psFocused, back);
        QCOMPARE(Pixel(image, 10, 0), back);
        QCOMPARE(Pixel(image, 10, 1), Grey(200));
        QCOMPARE(Pixel(image, 11, 0), Grey(50));
        QCOMPARE(Pixel(image, 26, 0), back);
        QCOMPARE(Pixel(image, 25, 0), Grey(50));
        QCOMPARE(Pixel(image, 10, 29), back);
        QCOMPARE(Pixel(image, 11, 29), Grey(50));
        QCOMPARE(Pixel(image, 31, 29), back);
        QCOMPARE(Pixel(image, 30, 29), Grey(50));
        QCOMPARE(Pixel(image, 20, 15), Grey(100));
    }

    void alignedTextStaysInsideItsRectangle()
    {
        TKRArtistic artistic;
        QImage image(200, 60, QImage::Format_RGB32);
        const QRect rect(20, 10, 100, 40);
        const auto inkColumns = [&](TKRHorzAlign h, TKRVertAlign v, const QString &text) {
            image.fill(Qt::black);
            QPainter p(&image);
            p.setPen(Qt::white);
            artistic.DrawAlignedText(p, rect, h, 3, text, v);
            p.end();
            QRect ink;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != qRgb(0, 0, 0))
                        ink |= QRect(x, y, 1, 1);
            return ink;
        };
        const QRect inset = rect.adjusted(3, 3, -3, -3);
        const QRect left = inkColumns(haLeft, vaTop, QStringLiteral("Wg"));
        const QRect right = inkColumns(haRight, vaBottom, QStringLiteral("Wg"));
        const QRect centre = inkColumns(haCenter, vaCenter, QStringLiteral("Wg"));
        QVERIFY(!left.isEmpty() && !right.isEmpty() && !centre.isEmpty());
        QVERIFY(inset.contains(left) && inset.contains(right) && inset.contains(centre));
        QVERIFY(left.left() >= inset.left() + 3); // twice the border from the edge
        QVERIFY(left.right() < centre.right() && centre.right() < right.right());
        QVERIFY(left.top() < centre.top() && centre.top() < right.top());
        const QRect clipped = inkColumns(haLeft, vaCenter, QStringLiteral("WWWWWWWWWWWWWWWWWWWWWWWWW"));
        QVERIFY(inset.contains(clipped));
        QVERIFY(clipped.right() >= inset.right() - 3);
    }
};

QTEST_MAIN(TestGraphics)
#include "tst_graphics.moc"
