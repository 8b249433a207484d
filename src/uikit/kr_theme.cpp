#include "uikit/kr_theme.h"

#include "base/kr_inifile.h"
#include "system/app_env.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>

#include <algorithm>

namespace {

constexpr TColor Black = MakeColorRef(0, 0, 0);
constexpr TColor White = MakeColorRef(255, 255, 255);

// The colours that closed each of the four twelve-scheme families, in the
// families' shared order (orange, blue, purple, pink, red, green, yellow,
// pool, lilac, gold, brown, wine).
constexpr TColor PretoFirst[12] = {
    MakeColorRef(255, 120, 47), MakeColorRef(0, 87, 151), MakeColorRef(87, 0, 174),
    MakeColorRef(255, 28, 255), MakeColorRef(166, 0, 0),  MakeColorRef(72, 145, 0),
    MakeColorRef(166, 166, 0),  MakeColorRef(0, 128, 128), MakeColorRef(128, 128, 192),
    MakeColorRef(213, 208, 47), MakeColorRef(128, 64, 64), MakeColorRef(158, 65, 123),
};
constexpr TColor OfficeSecond[12] = {
    MakeColorRef(255, 162, 117), MakeColorRef(94, 174, 255), MakeColorRef(169, 83, 255),
    MakeColorRef(255, 108, 255), MakeColorRef(255, 128, 128), MakeColorRef(128, 255, 0),
    MakeColorRef(179, 179, 0),   MakeColorRef(0, 128, 128),  MakeColorRef(128, 128, 192),
    MakeColorRef(213, 208, 47),  MakeColorRef(128, 64, 64),  MakeColorRef(158, 65, 123),
};
constexpr TColor BrancoSecond[12] = {
    MakeColorRef(255, 141, 81), MakeColorRef(60, 157, 255), MakeColorRef(164, 72, 255),
    MakeColorRef(255, 28, 255), MakeColorRef(255, 0, 0),    MakeColorRef(102, 185, 0),
    MakeColorRef(179, 179, 0),  MakeColorRef(0, 128, 128),  MakeColorRef(128, 128, 192),
    MakeColorRef(213, 208, 47), MakeColorRef(128, 64, 64),  MakeColorRef(158, 65, 123),
};
constexpr TColor BlackSecond[12] = {
    MakeColorRef(255, 120, 47), MakeColorRef(45, 150, 255), MakeColorRef(169, 83, 255),
    MakeColorRef(255, 28, 255), MakeColorRef(255, 0, 0),    MakeColorRef(108, 198, 0),
    MakeColorRef(179, 179, 0),  MakeColorRef(0, 128, 128),  MakeColorRef(128, 128, 192),
    MakeColorRef(213, 208, 47), MakeColorRef(128, 64, 64),  MakeColorRef(158, 65, 123),
};
// Schemes 0..12 use one colour for both ends.
constexpr TColor SingleBase[13] = {
    MakeColorRef(255, 120, 47), MakeColorRef(45, 150, 255), MakeColorRef(169, 83, 255),
    MakeColorRef(255, 28, 255), MakeColorRef(255, 0, 0),    MakeColorRef(108, 198, 0),
    MakeColorRef(0, 0, 0),      MakeColorRef(179, 179, 0),  MakeColorRef(0, 128, 128),
    MakeColorRef(128, 128, 192), MakeColorRef(213, 208, 47), MakeColorRef(128, 64, 64),
    MakeColorRef(158, 65, 123),
};

TKRThemeColors ValidScheme(TKRThemeColors scheme)
{
    return int(scheme) < ThemeColorsCount ? scheme : DefaultSettingsScheme;
}

TKRGradientType ValidGradient(TKRGradientType type)
{
    return int(type) < GradientTypeCount ? type : DefaultSettingsGradient;
}

struct SingleRow {
    int F, E, c, d, e, f, border, sel, font;
};
constexpr SingleRow SingleRows[13] = {
    {-5, -10, 85, 35, 80, 20, 35, 40, 30},  // tcLaranja
    {-5, -10, 85, 35, 80, 20, 20, 35, 30},  // tcAzul
    {-5, -10, 85, 35, 80, 20, 20, 35, 30},  // tcRoxo
    {-10, -15, 85, 35, 80, 20, 15, 30, 25}, // tcRosa
    {-5, -10, 85, 35, 80, 20, 20, 35, 30},  // tcVermelho
    {-10, -35, 90, 30, 85, 15, 20, 30, 20}, // tcVerde
    {-5, -10, 85, 30, 80, 15, 20, 35, 30},  // tcPreto
    {-10, -30, 85, 25, 80, 15, 20, 30, 20}, // tcAmarelo
    {-10, -35, 85, 30, 80, 15, 20, 25, 20}, // tcPiscina
    {-5, -10, 85, 35, 80, 20, 35, 40, 30},  // tcLilas
    {-10, -20, 85, 35, 80, 20, 35, 35, 20}, // tcGold
    {-10, -15, 85, 35, 80, 20, 35, 35, 20}, // tcMarrom
    {-10, -15, 85, 35, 80, 20, 35, 35, 20}, // tcVinho
};

TKRSchemeParams Group(int F, int E, int w, int u, int c, int d, int e, int f, int border, int sel, int m,
                      int font, int h, int v, int l, TColor contrast)
{
    TKRSchemeParams p;
    p.F = F;
    p.E = E;
    p.w = w;
    p.u = u;
    p.c = c;
    p.d = d;
    p.e = e;
    p.f = f;
    p.border = border;
    p.sel = sel;
    p.m = m;
    p.font = font;
    p.h = h;
    p.v = v;
    p.l = l;
    p.contrast = contrast;
    return p;
}

TKRSchemeParams WithSecondOffsets(TKRSchemeParams p, int F2, int E2)
{
    p.HasSecondOffsets = true;
    p.F2 = F2;
    p.E2 = E2;
    return p;
}

} // namespace

TColor SchemeBaseColor(TKRThemeColors scheme)
{
    const int s = ValidScheme(scheme);
    if (s <= tcVinho)
        return SingleBase[s];
    switch (s) {
    case tcBrasil:
    case tcPorDoSol: return MakeColorRef(255, 255, 0);
    case tcAquatico: return MakeColorRef(0, 255, 255);
    case clFloresta: return MakeColorRef(172, 255, 0);
    case tcBrancoPiscina: return Black;
    case tcBlackOrange: return White;
    case tcNoTheme: return White;
    default: break;
    }
    if (s <= tcPretoVinho)
        return PretoFirst[s - tcPretoLaranja];
    if (s <= tcOfficeVinho)
        return MakeColorRef(192, 192, 192);
    if (s <= tcBrancoVinho)
        return White;
    return Black;
}

TColor SchemeSecondColor(TKRThemeColors scheme)
{
    const int s = ValidScheme(scheme);
    if (s <= tcVinho)
        return SingleBase[s];
    switch (s) {
    case tcBrasil: return MakeColorRef(92, 217, 0);
    case tcPorDoSol: return MakeColorRef(255, 0, 0);
    case tcAquatico: return MakeColorRef(0, 128, 255);
    case clFloresta: return MakeColorRef(39, 253, 2);
    case tcNoTheme: return Black;
    default: break;
    }
    if (s <= tcPretoVinho)
        return Black;
    if (s <= tcOfficeVinho)
        return OfficeSecond[s - tcOfficeOrange];
    if (s <= tcBrancoVinho)
        return BrancoSecond[s - tcBrancoLaranja];
    return BlackSecond[s - tcBlackOrange];
}

TKRSchemeParams SchemeParams(TKRThemeColors scheme)
{
    const int s = ValidScheme(scheme);
    if (s <= tcVinho) {
        const SingleRow &r = SingleRows[s];
        return Group(r.F, r.E, 90, 30, r.c, r.d, r.e, r.f, r.border, r.sel, 90, r.font, 2, 0, 2, Black);
    }
    if (s == tcNoTheme)
        return Group(-5, -10, 90, 30, 85, 30, 80, 15, 35, 35, 90, 20, 2, 0, 2, Black);

    if (s <= clFloresta) {
        TKRSchemeParams p = Group(-15, -20, 90, 30, 87, 25, 87, 25, 20, 30, 90, 30, 2, 0, 2, Black);
        if (s == tcBrasil) {
            p.E = -40;
            p.font = 20;
        } else if (s == clFloresta) {
            p.F = -30;
            p.E = -50;
            p.font = 10;
        }
        return p;
    }
    if (s <= tcPretoVinho) {
        TKRSchemeParams p = Group(-50, -90, 20, 90, 40, 85, 25, 95, 5, 25, 90, 95, 2, 2, 1, White);
        if (s == tcPretoRoxo)
            p.F = -40;
        return p;
    }
    if (s <= tcOfficeVinho) {
        TKRSchemeParams p =
            WithSecondOffsets(Group(5, -20, 90, 30, 85, 25, 85, 25, 20, 30, 90, 30, 2, 0, 2, Black), 5, -20);
        switch (s) {
        case tcOfficeOrange:
            p.border = 30;
            p.sel = 40;
            break;
        case tcOfficeGreen:
        case tcOfficeYellow:
        case tcOfficeGold: p.font = 20; break;
        case tcOfficePiscina:
            p.sel = 20;
            p.font = 20;
            break;
        default: break;
        }
        return p;
    }
    if (s <= tcBrancoVinho) {
        TKRSchemeParams p = Group(20, -5, 96, 30, 91, 35, 86, 25, 50, 60, 95, 30, 2, 2, 2, Black);
        switch (s) {
        case tcBrancoRosa:
            p.border = 45;
            p.sel = 55;
            break;
        case tcBrancoVermelho: p.font = 20; break;
        case tcBrancoVerde:
            p.E = -20;
            p.border = 35;
            p.sel = 40;
            p.font = 20;
            break;
        case tcBrancoAmarelo:
            p.E = -20;
            p.border = 32;
            p.sel = 35;
            p.m = 100;
            p.font = 20;
            break;
        case tcBrancoPiscina:
            p.E = -10;
            p.border = 30;
            p.sel = 35;
            p.m = 100;
            p.font = 20;
            break;
        case tcBrancoGold:
            p.E = -15;
            p.sel = 45;
            p.m = 100;
            p.font = 20;
            break;
        default: break;
        }
        return p;
    }
    TKRSchemeParams p =
        WithSecondOffsets(Group(-60, -100, 5, 90, 20, 85, 10, 95, 5, 40, 90, 95, 1, 1, 2, White), -40, -70);
    switch (s) {
    case tcBlackPink:
    case tcBlackRed: p.sel = 30; break;
    case tcBlackGreen:
    case tcBlackYellow:
    case tcBlackPool: p.sel = 25; break;
    case tcBlackGold:
        p.F2 = -45;
        p.E2 = -75;
        p.sel = 20;
        break;
    default: break;
    }
    return p;
}

namespace {

// Hue, luminance and saturation on the shell's 0..240 scale.
struct Hls {
    int h, l, s;
};

Hls ToHls(TColor color)
{
    const int r = ColorRefRed(color), g = ColorRefGreen(color), b = ColorRefBlue(color);
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    const int sum = mx + mn;
    const int d = mx - mn;
    Hls out{160, (sum * 240 + 255) / 510, 0};
    if (d == 0)
        return out;
    out.s = out.l <= 120 ? (sum / 2 + d * 240) / sum : ((510 - sum) / 2 + d * 240) / (510 - sum);
    const auto n = [mx, d](int c) { return (d / 2 + (mx - c) * 40) / d; };
    if (r == mx)
        out.h = n(b) - n(g);
    else if (g == mx)
        out.h = 80 + n(r) - n(b);
    else
        out.h = 160 + n(g) - n(r);
    if (out.h < 0)
        out.h += 240;
    if (out.h > 240)
        out.h -= 240;
    return out;
}

int ChannelFromLevel(double level)
{
    return std::min(255, RoundHalfEven(std::min(255.0, (level * 255 + 120) / 240)));
}

double HueToLevel(double m1, double m2, int hue)
{
    if (hue < 0)
        hue += 240;
    if (hue > 240)
        hue -= 240;
    if (hue < 40)
        return m1 + ((m2 - m1) * hue + 20) / 40;
    if (hue < 120)
        return m2;
    if (hue < 160)
        return m1 + ((m2 - m1) * (160 - hue) + 20) / 40;
    return m1;
}

TColor FromHls(const Hls &c)
{
    const double L = c.l;
    const double S = c.s;
    if (c.s == 0) {
        const int grey = RoundHalfEven(std::min(255.0, L * 255 / 240));
        return MakeColorRef(grey, grey, grey);
    }
    const double m2 = c.l <= 120 ? (L * (240 + S) + 120) / 240 : L + S - (L * S + 120) / 240;
    const double m1 = 2 * L - m2;
    const auto channel = [&](int hue) { return ChannelFromLevel(RoundHalfEven(HueToLevel(m1, m2, hue))); };
    return MakeColorRef(channel(c.h + 80), channel(c.h), channel(c.h - 80));
}

} // namespace

TColor ColorWithLuminance(TColor color, int percent)
{
    Hls hls = ToHls(PlainColor(color));
    hls.l = std::clamp(percent, 0, 100) * 255 / 100;
    return FromHls(hls);
}

TKRColors DisabledGreys()
{
    TKRColors c;
    c.GradientColorStart = MakeColorRef(245, 245, 245);
    c.GradientColorEnd = MakeColorRef(223, 223, 223);
    c.BorderColorStart = MakeColorRef(219, 219, 219);
    c.BorderColorEnd = MakeColorRef(190, 190, 190);
    c.SelColorStart = MakeColorRef(162, 162, 162);
    c.SelColorEnd = MakeColorRef(133, 133, 133);
    return c;
}

namespace {

// One colour set: start colours from p at F + the odd levels, end colours
// from q at E + the even ones.
TKRColors ColorSet(TColor p, TColor q, int F, int E, const int (&levels)[6])
{
    TKRColors c;
    c.GradientColorStart = ColorWithLuminance(p, F + levels[0]);
    c.GradientColorEnd = ColorWithLuminance(q, E + levels[1]);
    c.BorderColorStart = ColorWithLuminance(p, F + levels[2]);
    c.BorderColorEnd = ColorWithLuminance(q, E + levels[3]);
    c.SelColorStart = ColorWithLuminance(p, F + levels[4]);
    c.SelColorEnd = ColorWithLuminance(q, E + levels[5]);
    return c;
}

} // namespace

void GenerateSchemeColors(TKRArtistic &artistic, TKRThemeColors scheme, TKRTheme *theme)
{
    scheme = ValidScheme(scheme);
    const TColor A = SchemeBaseColor(scheme);
    const TColor B = SchemeSecondColor(scheme);
    const TKRSchemeParams k = SchemeParams(scheme);

    artistic.DisableColors = DisabledGreys();
    if (A == B) {
        artistic.NormalColors = ColorSet(A, A, k.F, k.E, {95, 85, 60, 70, 50, 60});
        artistic.FocusColors = ColorSet(A, A, k.F, k.E, {90, 80, 55, 65, 45, 55});
        artistic.HotColors = ColorSet(A, A, k.F, k.E, {85, 75, 50, 60, 40, 50});
    } else {
        artistic.NormalColors = ColorSet(A, k.HasSecondOffsets ? A : B, k.F, k.E, {90, 90, 65, 65, 55, 55});
        const TColor P = k.HasSecondOffsets ? B : A;
        const int F = k.HasSecondOffsets ? k.F2 : k.F;
        const int E = k.HasSecondOffsets ? k.E2 : k.E;
        artistic.FocusColors = ColorSet(P, B, F, E, {85, 85, 60, 60, 50, 50});
        artistic.HotColors = ColorSet(P, B, F, E, {80, 80, 55, 55, 45, 45});
    }

    if (!theme)
        return;
    const TColor X = k.h == 1 ? A : B;
    const TColor Y1 = k.v == 2 ? B : A;
    const TColor Y2 = k.v == 1 ? A : B;
    const TColor Z = k.l == 1 ? A : B;
    theme->ObjBackColor = ColorWithLuminance(X, k.w);
    theme->ObjBackFontColor = ColorWithLuminance(X, k.u);
    theme->ObjLineColor1 = ColorWithLuminance(Y1, k.c);
    theme->ObjLineFontColor1 = ColorWithLuminance(Y1, k.d);
    theme->ObjLineColor2 = ColorWithLuminance(Y2, k.e);
    theme->ObjLineFontColor2 = ColorWithLuminance(Y2, k.f);
    theme->ObjBorderColor = ColorWithLuminance(Z, k.border);
    theme->ObjSelColor = ColorWithLuminance(Z, k.sel);
    theme->ObjSelFontColor = ColorWithLuminance(Z, k.m);
    theme->ObjFontColor = ColorWithLuminance(B, k.font);
    theme->ObjFontContrastColor = k.contrast;
}

TKRTheme::TKRTheme(QObject *parent)
    : QObject(parent)
{
    RegenerateColors();
}

void TKRTheme::SetThemeColors(TKRThemeColors value)
{
    value = ValidScheme(value);
    if (value == m_themeColors)
        return;
    m_themeColors = value;
    ApplyScheme();
}

void TKRTheme::SetGradientType(TKRGradientType value)
{
    value = ValidGradient(value);
    if (value == m_gradientType)
        return;
    m_gradientType = value;
    NotifyActiveForm();
}

void TKRTheme::SetGradientRotation(int value)
{
    ChangeAndNotify(m_gradientRotation, std::clamp(value, -100, 100));
}

void TKRTheme::SetGradientShift(int value)
{
    ChangeAndNotify(m_gradientShift, std::clamp(value, -100, 100));
}

void TKRTheme::SetBorderWidth(int value)
{
    ChangeAndNotify(m_borderWidth, value);
}

void TKRTheme::ChangeAndNotify(int &field, int value)
{
    if (value == field)
        return;
    field = value;
    NotifyActiveForm();
}

QString TKRTheme::SettingsFilePath() const
{
    if (!m_iniFileName.isEmpty())
        return ExecutableFolder() + m_iniFileName;
    const QFileInfo exe(ExecutablePath());
    QString folder = exe.path();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + exe.completeBaseName() + QStringLiteral(".ini");
}

void TKRTheme::LoadSettings()
{
    if (m_noRead)
        return;
    const TIniFile ini(SettingsFilePath());
    const QString section = QStringLiteral("TEMA");
    // The settings were always kept in one-byte fields: scheme and style
    // unsigned, rotation and shift signed. A damaged file can still name a
    // scheme or style that does not exist; those fall back to the defaults.
    const auto scheme = quint8(ini.ReadInteger(section, QStringLiteral("COLOR"), DefaultSettingsScheme));
    const auto gradient = quint8(ini.ReadInteger(section, QStringLiteral("GRADTYPE"), DefaultSettingsGradient));
    const auto rotation = qint8(ini.ReadInteger(section, QStringLiteral("GRADROTATION"), 0));
    const auto shift = qint8(ini.ReadInteger(section, QStringLiteral("GRADSHIF"), 0));
    m_themeColors = ValidScheme(TKRThemeColors(scheme));
    m_gradientType = ValidGradient(TKRGradientType(gradient));
    m_gradientRotation = std::clamp(int(rotation), -100, 100);
    m_gradientShift = std::clamp(int(shift), -100, 100);
    m_borderWidth = ini.ReadInteger(section, QStringLiteral("BORDERWIDTH"), 1);
    m_useContrastFont = ini.ReadBool(section, QStringLiteral("CONTRASTFONT"), false);
    m_roundedButtons = ini.ReadBool(section, QStringLiteral("ROUNDEDBUTTONS"), false);
    m_ignoreControls = ini.ReadBool(section, QStringLiteral("IGNORECONTROLS"), false);
    ApplyScheme();
}

void TKRTheme::RegenerateColors()
{
    TKRArtistic scratch;
    GenerateSchemeColors(scratch, m_themeColors, this);
    m_normal = scratch.NormalColors;
    m_hot = scratch.HotColors;
    m_focus = scratch.FocusColors;
    m_disable = scratch.DisableColors;
}

void TKRTheme::ApplyScheme()
{
    RegenerateColors();
    NotifyActiveForm();
}

void TKRTheme::PrepareArtistic(TKRArtistic &artistic)
{
    artistic.GradientType = m_gradientType;
    artistic.GradientRotation = m_gradientRotation;
    artistic.GradientShift = m_gradientShift;
    artistic.BorderWidth = m_borderWidth;
    GenerateSchemeColors(artistic, m_themeColors, this);
}

namespace {

bool HasThemeManager(const QWidget *w)
{
    return w->metaObject()->indexOfProperty("ThemeManager") >= 0
           || w->dynamicPropertyNames().contains(QByteArrayLiteral("ThemeManager"));
}

void NotifyChildren(QWidget *parent)
{
    // Guarded copies: a control may create or delete widgets while it repaints.
    QList<QPointer<QWidget>> widgets;
    for (QObject *child : parent->children())
        if (auto *w = qobject_cast<QWidget *>(child); w && !w->isWindow())
            widgets.append(w);
    for (const QPointer<QWidget> &w : widgets) {
        if (w && HasThemeManager(w)) {
            QEvent event(CM_THEMECHANGE);
            QCoreApplication::sendEvent(w, &event);
        }
        if (w)
            NotifyChildren(w);
    }
}

} // namespace

void TKRTheme::NotifyThemeChange(QWidget *form)
{
    if (!form)
        return;
    NotifyChildren(form);
}

void TKRTheme::NotifyActiveForm()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        NotifyThemeChange(QApplication::activeWindow());
}
