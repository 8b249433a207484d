#pragma once
// The painter of the themed controls: colour ramps, gradient patterns and the
// faces of buttons and panels.
//
// Colours travel as Windows colour values (0x00BBGGRR, red in the low byte),
// the form in which themes and settings files hold them; they become QColor
// only at the moment something is drawn.
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class QPainter;
class QWidget;

using TColor = quint32;

constexpr TColor MakeColorRef(int red, int green, int blue)
{
    return TColor(red & 0xFF) | (TColor(green & 0xFF) << 8) | (TColor(blue & 0xFF) << 16);
}
constexpr int ColorRefRed(TColor c) { return int(c & 0xFF); }
constexpr int ColorRefGreen(TColor c) { return int((c >> 8) & 0xFF); }
constexpr int ColorRefBlue(TColor c) { return int((c >> 16) & 0xFF); }

QColor FromColorRef(TColor color);
TColor ToColorRef(const QColor &color);
// Plain red, green and blue: whatever sits in the top byte (the platform's
// system-colour marker) is dropped.
TColor PlainColor(TColor color);

// Rounds halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int RoundHalfEven(double value);
// Windows MulDiv: a * b / c through 64 bits, halves rounded away from zero.
int MulDiv(int a, int b, int c);

// The six colours of one control state; each start/end pair spans one gradient.
struct TKRColors {
    TColor GradientColorStart = 0;
    TColor GradientColorEnd = 0;
    TColor BorderColorStart = 0;
    TColor BorderColorEnd = 0;
    TColor SelColorStart = 0;
    TColor SelColorEnd = 0;

    // Pressed buttons show their hot colours with every gradient reversed.
    TKRColors Reversed() const;
    bool operator==(const TKRColors &) const = default;
};

enum TKRGradientType : quint8 {
    gtRadialC, gtRadialT, gtRadialB, gtRadialL, gtRadialR,
    gtRadialTL, gtRadialTR, gtRadialBL, gtRadialBR,
    gtLinearH, gtLinearV, gtReflectedH, gtReflectedV,
    gtDiagonalLF, gtDiagonalLB, gtDiagonalRF, gtDiagonalRB,
    gtArrowL, gtArrowR, gtArrowU, gtArrowD,
    gtDiamond, gtButterfly, gtLight, gtFlat, gtChamuscado, gtXadrez,
};
inline constexpr int GradientTypeCount = 27;

// −100 to 100.
using TGradientRotation = int;
using TGradientShift = int;

enum TKRHorzAlign : quint8 { haLeft, haCenter, haRight };
enum TKRVertAlign : quint8 { vaTop, vaCenter, vaBottom };

// Paint states of a control face.
enum TKRPaintState : int {
    psNormal = 0,
    psFocused = 1,
    psHot = 2,
    psPressed = 3,
    psDisabled = 4,
    psStatic = 5,
};

using TKRColorRamp = std::array<TColor, 256>;

// 256 colours from start (index 0) to end (index 255), bent by the shift and
// folded by the rotation. Rotation and shift are clamped to −100..100.
TKRColorRamp BuildColorRamp(TColor start, TColor end, bool inverse, int rotation, int shift);

// A gradient style rendered as ramp indices, row by row.
struct TKRPattern {
    int Width = 0;
    int Height = 0;
    std::vector<quint8> Index;

    int At(int x, int y) const { return Index[size_t(y) * size_t(Width) + size_t(x)]; }
};

// Size of a style's pattern; the random and checkerboard styles take the
// control's size (200 for a dimension that is not positive).
QSize GradientPatternSize(TKRGradientType type, QSize controlSize);
// seed feeds the random style only.
TKRPattern BuildGradientPattern(TKRGradientType type, QSize controlSize, quint32 seed = 0);
QImage RenderGradientPattern(const TKRPattern &pattern, const TKRColorRamp &ramp);

// The colour set a state paints with (state 3 reverses the hot colours).
class TKRArtistic;
TKRColors SelectStateColors(const TKRArtistic &artistic, int state);

class TKRArtistic
{
public:
    TKRGradientType GradientType = gtRadialTL;
    bool GradientInverse = false;
    TGradientShift GradientShift = 0;
    TGradientRotation GradientRotation = 0;
    int BorderWidth = 1;
    TKRColors NormalColors;
    TKRColors HotColors;
    TKRColors FocusColors;
    TKRColors DisableColors;
    // The control painted for; not owned. Without one, styles that take their
    // size from the control use 200 × 200 and faces cover the whole device.
    QWidget *Control = nullptr;

    void PaintGradient(QPainter &canvas, const QRect &rect, TColor start, TColor end) const;
    void PaintControlFace(QPainter &canvas, int state) const;
    void PaintRoundedFace(QPainter &canvas, int state, TColor backColor) const;
    void DrawAlignedText(QPainter &canvas, const QRect &rect, TKRHorzAlign horz, int borderWidth,
                         const QString &text, TKRVertAlign vert) const;

    QRect ClientRect(const QPainter &canvas) const;
};
