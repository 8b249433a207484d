#include "uikit/kr_graphics.h"


#include <QFontMetrics>
#include <QPainter>
#include <QRandomGenerator>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

QColor FromColorRef(TColor color)
{
    return QColor(ColorRefRed(color), ColorRefGreen(color), ColorRefBlue(color));
}

TColor ToColorRef(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return MakeColorRef(rgb.red(), rgb.green(), rgb.blue());
}

TColor PlainColor(TColor color)
{
    return color & 0x00FFFFFFu;
}

int RoundHalfEven(double value)
{
    // The default floating-point rounding mode is to-nearest-even.
    return int(std::nearbyint(value));
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    if (c < 0) {
        a = -a;
        c = -c;
    }
    const qint64 product = qint64(a) * qint64(b);
    const qint64 half = c / 2;
    return int(product >= 0 ? (product + half) / c : (product - half) / c);
}

TKRColors TKRColors::Reversed() const
{
    TKRColors r;
    r.GradientColorStart = GradientColorEnd;
    r.GradientColorEnd = GradientColorStart;
    r.BorderColorStart = BorderColorEnd;
    r.BorderColorEnd = BorderColorStart;
    r.SelColorStart = SelColorEnd;
    r.SelColorEnd = SelColorStart;
    return r;
}

namespace {

struct Rgb {
    int r, g, b;
};

Rgb Split(TColor c)
{
    return {ColorRefRed(c), ColorRefGreen(c), ColorRefBlue(c)};
}

// Applies one rule to the three channels and packs the result.
TColor PerChannel(const Rgb &s, const Rgb &e, const std::function<int(int, int)> &rule)
{
    return MakeColorRef(rule(s.r, e.r), rule(s.g, e.g), rule(s.b, e.b));
}

} // namespace

TKRColorRamp BuildColorRamp(TColor start, TColor end, bool inverse, int rotation, int shift)
{
    // Settings files can carry any byte; beyond ±100 the folded ramp would be
    // indexed outside its 256 entries.
    rotation = std::clamp(rotation, -100, 100);
    shift = std::clamp(shift, -100, 100);

    Rgb s = Split(PlainColor(start));
    Rgb e = Split(PlainColor(end));
    if (inverse)
        std::swap(s, e);

    if (shift > 0) {
        const auto moved = [shift](int a, int b) { return a + MulDiv(b - a, shift, 100); };
        s = {moved(s.r, e.r), moved(s.g, e.g), moved(s.b, e.b)};
    } else if (shift < 0) {
        const auto moved = [shift](int a, int b) { return b + MulDiv(b - a, shift, 100); };
        e = {moved(s.r, e.r), moved(s.g, e.g), moved(s.b, e.b)};
    }

    TKRColorRamp ramp{};
    const int m = MulDiv(255, rotation, 100);
    if (m == 0) {
        for (int i = 0; i < 256; ++i)
            ramp[i] = PerChannel(s, e, [i](int a, int b) { return a + (b - a) * i / 255; });
    } else if (m > 0) {
        const int k = 255 - m;
        for (int i = 0; i < k; ++i)
            ramp[i] = PerChannel(s, e, [i, k](int a, int b) { return a + (b - a) * i / k; });
        for (int i = k; i < 256; ++i)
            ramp[i] = PerChannel(s, e, [i, m](int a, int b) { return a + (b - a) * (255 - i) / m; });
    } else {
        const int n = -m;
        const int k = 1 + n;
        for (int i = 0; i < k; ++i)
            ramp[i] = PerChannel(s, e, [i, n](int a, int b) { return b - (b - a) * i / n; });
        for (int i = k; i < 256; ++i)
            ramp[i] = PerChannel(s, e, [i, m](int a, int b) { return b - (b - a) * (255 - i) / (255 + m); });
    }
    return ramp;
}

QSize GradientPatternSize(TKRGradientType type, QSize controlSize)
{
    switch (type) {
    case gtRadialC: return {362, 362};
    case gtRadialT:
    case gtRadialB: return {362, 181};
    case gtRadialL:
    case gtRadialR: return {181, 362};
    case gtRadialTL:
    case gtRadialTR:
    case gtRadialBL:
    case gtRadialBR: return {181, 181};
    case gtLinearH: return {256, 1};
    case gtLinearV: return {1, 256};
    case gtReflectedH: return {1, 512};
    case gtReflectedV: return {512, 1};
    case gtDiagonalLF:
    case gtDiagonalLB: return {128, 129};
    case gtDiagonalRF:
    case gtDiagonalRB: return {256, 256};
    case gtArrowL:
    case gtArrowR: return {129, 256};
    case gtArrowU:
    case gtArrowD: return {256, 129};
    case gtDiamond:
    case gtButterfly: return {256, 256};
    case gtLight: return {1, 256};
    case gtFlat: return {10, 10};
    case gtChamuscado:
    case gtXadrez:
        return {controlSize.width() > 0 ? controlSize.width() : 200,
                controlSize.height() > 0 ? controlSize.height() : 200};
    }
    return {10, 10};
}

namespace {

int Distance(int dx, int dy)
{
    return std::min(255, RoundHalfEven(std::sqrt(double(dx * dx + dy * dy))));
}

// Offset from a centre that lies between pixels 180 and 181, so both halves
// of a 362-pixel side mirror each other.
int MirroredOffset(int p)
{
    return p <= 180 ? 180 - p : p - 181;
}

int PatternIndex(TKRGradientType type, int x, int y)
{
    switch (type) {
    case gtRadialC: return Distance(MirroredOffset(x), MirroredOffset(y));
    case gtRadialT: return Distance(MirroredOffset(x), y);
    case gtRadialB: return Distance(MirroredOffset(x), 180 - y);
    case gtRadialL: return Distance(x, MirroredOffset(y));
    case gtRadialR: return Distance(180 - x, MirroredOffset(y));
    case gtRadialTL: return Distance(x, y);
    case gtRadialTR: return Distance(180 - x, y);
    case gtRadialBL: return Distance(x, 180 - y);
    case gtRadialBR: return Distance(180 - x, 180 - y);
    case gtLinearH: return x;
    case gtLinearV: return y;
    case gtReflectedH: return 255 - (y < 256 ? y : 511 - y);
    case gtReflectedV: return 255 - (x < 256 ? x : 511 - x);
    case gtDiagonalLF: return x + y;
    case gtDiagonalLB: return y - x + 127;
    case gtDiagonalRF: return x + y > 254 ? x + y - 255 : 255 - x - y;
    case gtDiagonalRB: return y < x ? x - y : y - x;
    case gtArrowL: return y < 128 ? 255 - x - y : y - x;
    case gtArrowR: return y < 128 ? x - y + 127 : x + y - 128;
    case gtArrowU: return x < 128 ? 255 - x - y : x - y;
    case gtArrowD: return x < 128 ? y - x + 127 : x + y - 128;
    case gtDiamond:
        if (y < 128)
            return x < 128 ? 255 - x - y : x - y;
        return x < 128 ? y - x : x + y - 255;
    case gtButterfly:
        if (y < 128)
            return x < 128 ? x - y + 128 : 383 - x - y;
        return x < 128 ? x + y - 128 : y - x + 128;
    case gtLight:
        if (y < 128)
            return y;
        if (y == 128)
            return 255;
        return 254 - (y - 129) / 2;
    case gtFlat: return 50;
    case gtXadrez: return (x / 10 + y / 10) % 2 ? 160 : 80;
    case gtChamuscado: break;
    }
    return 0;
}

void FillPattern(TKRPattern &pattern, TKRGradientType type)
{
    size_t i = 0;
    for (int y = 0; y < pattern.Height; ++y)
        for (int x = 0; x < pattern.Width; ++x)
            pattern.Index[i++] = quint8(std::clamp(PatternIndex(type, x, y), 0, 255));
}

} // namespace

TKRPattern BuildGradientPattern(TKRGradientType type, QSize controlSize, quint32 seed)
{
    TKRPattern pattern;
    const QSize size = GradientPatternSize(type, controlSize);
    pattern.Width = size.width();
    pattern.Height = size.height();
    pattern.Index.resize(size_t(pattern.Width) * size_t(pattern.Height));
    if (type == gtChamuscado) {
        QRandomGenerator random(seed);
        for (quint8 &index : pattern.Index)
            index = quint8(random.bounded(255));
        return pattern;
    }
    if (type == gtXadrez) {
        FillPattern(pattern, type);
        return pattern;
    }
    // Fixed-size patterns depend on nothing but the style: the radial ones
    // cost a square root per pixel, so each is worked out once.
    static std::array<TKRPattern, GradientTypeCount> fixed;
    TKRPattern &cached = fixed[size_t(type)];
    if (cached.Index.empty()) {
        cached = pattern;
        FillPattern(cached, type);
    }
    return cached;
}

QImage RenderGradientPattern(const TKRPattern &pattern, const TKRColorRamp &ramp)
{
    std::array<QRgb, 256> colors{};
    for (size_t i = 0; i < colors.size(); ++i)
        colors[i] = FromColorRef(ramp[i]).rgb();
    QImage image(pattern.Width, pattern.Height, QImage::Format_RGB32);
    for (int y = 0; y < pattern.Height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < pattern.Width; ++x)
            line[x] = colors[size_t(pattern.At(x, y))];
    }
    return image;
}

TKRColors SelectStateColors(const TKRArtistic &artistic, int state)
{
    switch (state) {
    case psFocused: return artistic.FocusColors;
    case psHot:
    case psStatic: return artistic.HotColors;
    case psPressed: return artistic.HotColors.Reversed();
    case psDisabled: return artistic.DisableColors;
    default: return artistic.NormalColors;
    }
}

QRect TKRArtistic::ClientRect(const QPainter &canvas) const
{
    if (Control)
        return Control->rect();
    const QPaintDevice *device = canvas.device();
    return device ? QRect(0, 0, device->width(), device->height()) : QRect();
}

void TKRArtistic::PaintGradient(QPainter &canvas, const QRect &rect, TColor start, TColor end) const
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    const TKRColorRamp ramp = BuildColorRamp(start, end, GradientInverse, GradientRotation, GradientShift);
    // The random style must look different on every repaint.
    const quint32 seed = GradientType == gtChamuscado ? QRandomGenerator::global()->generate() : 0;
    const QSize controlSize = Control ? Control->size() : QSize();
    const QImage image = RenderGradientPattern(BuildGradientPattern(GradientType, controlSize, seed), ramp);
    canvas.save();
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.drawImage(rect, image);
    canvas.restore();
}

void TKRArtistic::PaintControlFace(QPainter &canvas, int state) const
{
    const TKRColors colors = SelectStateColors(*this, state);
    QRect r = ClientRect(canvas);
    PaintGradient(canvas, r, colors.BorderColorStart, colors.BorderColorEnd);
    r.adjust(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth);
    if (state == psFocused || state == psHot || state == psPressed) {
        PaintGradient(canvas, r, colors.SelColorStart, colors.SelColorEnd);
        r.adjust(1, 1, -1, -1);
    }
    PaintGradient(canvas, r, colors.GradientColorStart, colors.GradientColorEnd);
}

namespace {

// A one-pixel outline covering the pixels of r, with corner ellipses of
// diameter `corner`. Drawn pixel by pixel rather than by the raster engine so
// that the four corners mirror each other exactly, as the corner walk expects.
void DrawRoundOutline(QImage &image, const QRect &r, int corner, QRgb color)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const int left = r.left(), top = r.top(), right = r.right(), bottom = r.bottom();
    const int dw = std::min(corner, r.width());
    const int dh = std::min(corner, r.height());
    const int qx = dw / 2, qy = dh / 2;
    const double rx = dw / 2.0 - 0.5, ry = dh / 2.0 - 0.5;

    const auto plot = [&](int x, int y) {
        if (image.valid(x, y))
            image.setPixel(x, y, color);
    };
    // (i, j) counts from the top-left corner of the top-left quadrant.
    const auto plotMirrored = [&](int i, int j) {
        plot(left + i, top + j);
        plot(right - i, top + j);
        plot(left + i, bottom - j);
        plot(right - i, bottom - j);
    };
    if (rx > 0 && ry > 0) {
        const auto arc = [](double radius, double otherRadius, int step, int limit) {
            const double t = (radius - step) / radius;
            const double offset = otherRadius * std::sqrt(std::max(0.0, 1 - t * t));
            return std::clamp(int(std::floor(otherRadius - offset + 0.5)), 0, limit - 1);
        };
        for (int i = 0; i < qx; ++i)
            plotMirrored(i, arc(rx, ry, i, qy));
        for (int j = 0; j < qy; ++j)
            plotMirrored(arc(ry, rx, j, qx), j);
    }
    for (int x = left + qx; x <= right - qx; ++x) {
        plot(x, top);
        plot(x, bottom);
    }
    for (int y = top + qy; y <= bottom - qy; ++y) {
        plot(left, y);
        plot(right, y);
    }
}

// Paints one corner's columns with the background, each from the outer edge
// inwards until the outline is met. Positions off the image count as steps.
void WalkCorner(QImage &image, int firstX, int stepX, int columns, int firstY, int stepY, QRgb outline,
                QRgb back)
{
    constexpr int Depth = 11;
    for (int c = 0; c < columns; ++c) {
        const int x = firstX + c * stepX;
        for (int d = 0; d < Depth; ++d) {
            const int y = firstY + d * stepY;
            if (!image.valid(x, y))
                continue;
            if ((image.pixel(x, y) & 0xFFFFFFu) == (outline & 0xFFFFFFu))
                break;
            image.setPixel(x, y, back);
        }
    }
}

} // namespace

void TKRArtistic::PaintRoundedFace(QPainter &canvas, int state, TColor backColor) const
{
    if (state == psStatic)
        state = psHot;
    const TKRColors colors = SelectStateColors(*this, state);
    const QRect client = ClientRect(canvas);
    if (client.width() <= 0 || client.height() <= 0)
        return;

    // The corner walk reads pixels back, so the face is composed off-screen.
    QImage face(client.size(), QImage::Format_RGB32);
    TColor outline = colors.BorderColorEnd;
    QRect r(QPoint(0, 0), client.size());
    {
        QPainter p(&face);
        PaintGradient(p, r, colors.GradientColorStart, colors.GradientColorEnd);
    }
    DrawRoundOutline(face, r, 10, FromColorRef(outline).rgb());
    if (state == psFocused || state == psHot || state == psPressed) {
        outline = colors.SelColorStart;
        DrawRoundOutline(face, r.adjusted(1, 1, -1, -1), 8, FromColorRef(outline).rgb());
    }

    const QRgb line = FromColorRef(outline).rgb();
    const QRgb back = FromColorRef(backColor).rgb();
    const int right = face.width() + BorderWidth;
    const int bottom = face.height() + BorderWidth;
    WalkCorner(face, 0, 1, 11, 0, 1, line, back);            // top left
    WalkCorner(face, right, -1, 16, 0, 1, line, back);       // top right
    WalkCorner(face, 0, 1, 11, bottom, -1, line, back);      // bottom left
    WalkCorner(face, right, -1, 11, bottom, -1, line, back); // bottom right
    canvas.drawImage(client.topLeft(), face);
}

void TKRArtistic::DrawAlignedText(QPainter &canvas, const QRect &rect, TKRHorzAlign horz, int borderWidth,
                                  const QString &text, TKRVertAlign vert) const
{
    const QRect r = rect.adjusted(borderWidth, borderWidth, -borderWidth, -borderWidth);
    const QFontMetrics metrics(canvas.font());
    const int textHeight = metrics.height();
    const int textWidth = metrics.horizontalAdvance(text);
    // Right and bottom as exclusive edges, as the layout rules count them.
    const int rightEdge = r.x() + r.width();
    const int bottomEdge = r.y() + r.height();

    int y = r.y();
    if (vert == vaCenter)
        y = r.y() + RoundHalfEven((r.height() - textHeight) / 2.0);
    else if (vert == vaBottom)
        y = bottomEdge - textHeight - 1;

    int x = r.x() + borderWidth;
    if (horz == haCenter)
        x = r.x() + RoundHalfEven((r.width() - textWidth) / 2.0);
    else if (horz == haRight)
        x = rightEdge - textWidth - 1;

    canvas.save();
    canvas.setBackgroundMode(Qt::TransparentMode);
    canvas.setClipRect(r, Qt::IntersectClip);
    canvas.drawText(QPoint(x, y + metrics.ascent()), text);
    canvas.restore();
}
