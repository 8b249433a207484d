#pragma once
// Colour themes: one scheme and the gradient settings, from which every colour
// of the themed controls is derived, optionally read from section [TEMA] of
// the user's settings file.
#include "uikit/kr_graphics.h"

#include <QEvent>
#include <QObject>
#include <QString>

class QWidget;

enum TKRThemeColors : quint8 {
    tcLaranja, tcAzul, tcRoxo, tcRosa, tcVermelho, tcVerde, tcPreto, tcAmarelo, tcPiscina, tcLilas,
    tcGold, tcMarrom, tcVinho,
    tcBrasil, tcPorDoSol, tcAquatico, clFloresta,
    tcPretoLaranja, tcPretoAzul, tcPretoRoxo, tcPretoRosa, tcPretoVermelho, tcPretoVerde,
    tcPretoAmarelo, tcPretoPiscina, tcPretoLilas, tcPretoGold, tcPretoMarrom, tcPretoVinho,
    tcOfficeOrange, tcOfficeBlue, tcOfficePurple, tcOfficePink, tcOfficeRed, tcOfficeGreen,
    tcOfficeYellow, tcOfficePiscina, tcOfficeLilas, tcOfficeGold, tcOfficeMarrom, tcOfficeVinho,
    tcBrancoLaranja, tcBrancoAzul, tcBrancoRoxo, tcBrancoRosa, tcBrancoVermelho, tcBrancoVerde,
    tcBrancoAmarelo, tcBrancoPiscina, tcBrancoLilas, tcBrancoGold, tcBrancoMarrom, tcBrancoVinho,
    tcBlackOrange, tcBlackBlue, tcBlackPurple, tcBlackPink, tcBlackRed, tcBlackGreen,
    tcBlackYellow, tcBlackPool, tcBlackLilac, tcBlackGold, tcBlackBrown, tcBlackWine,
    tcNoTheme,
};
inline constexpr int ThemeColorsCount = 66;

// Sent synchronously to every themed control (a widget with a property named
// "ThemeManager") when the theme's settings change; the control repaints.
// The number is the window message the themed controls have always used.
inline constexpr QEvent::Type CM_THEMECHANGE = static_cast<QEvent::Type>(0x9B93);

// What a settings file may hold that is not a scheme or style falls back here.
inline constexpr TKRThemeColors DefaultSettingsScheme = tcPreto;
inline constexpr TKRGradientType DefaultSettingsGradient = gtLight;

TColor SchemeBaseColor(TKRThemeColors scheme);
TColor SchemeSecondColor(TKRThemeColors scheme);

// The generator's parameters for one scheme.
struct TKRSchemeParams {
    int F = 0, E = 0;
    bool HasSecondOffsets = false;
    int F2 = 0, E2 = 0;
    int w = 0, u = 0, c = 0, d = 0, e = 0, f = 0;
    int border = 0, sel = 0, m = 0, font = 0;
    int h = 2, v = 0, l = 2;
    TColor contrast = 0;
};
TKRSchemeParams SchemeParams(TKRThemeColors scheme);

// The colour with its luminance replaced by percent (clamped to 0..100) on the
// shell's 0..240 hue/luminance/saturation scale; 95 and above give white or
// nearly white.
TColor ColorWithLuminance(TColor color, int percent);

// The six fixed greys of disabled controls, whatever the scheme.
TKRColors DisabledGreys();

class TKRTheme;

// Fills the painter's four colour sets for the scheme and, with a theme,
// that theme's object colours.
void GenerateSchemeColors(TKRArtistic &artistic, TKRThemeColors scheme, TKRTheme *theme = nullptr);

class TKRTheme : public QObject
{
    Q_OBJECT
    Q_PROPERTY(TKRThemeColors ThemeColors READ ThemeColors WRITE SetThemeColors)
    Q_PROPERTY(TKRGradientType GradientType READ GradientType WRITE SetGradientType)
    Q_PROPERTY(int GradientRotation READ GradientRotation WRITE SetGradientRotation)
    Q_PROPERTY(int GradientShift READ GradientShift WRITE SetGradientShift)
    Q_PROPERTY(int BorderWidth READ BorderWidth WRITE SetBorderWidth)
    Q_PROPERTY(bool NoRead READ NoRead WRITE SetNoRead)
    Q_PROPERTY(bool UseContrastFont READ UseContrastFont WRITE SetUseContrastFont)
    Q_PROPERTY(bool RoundedButtons READ RoundedButtons WRITE SetRoundedButtons)
    Q_PROPERTY(bool IgnoreControls READ IgnoreControls WRITE SetIgnoreControls)

public:
    explicit TKRTheme(QObject *parent = nullptr);

    TKRThemeColors ThemeColors() const { return m_themeColors; }
    void SetThemeColors(TKRThemeColors value);
    TKRGradientType GradientType() const { return m_gradientType; }
    void SetGradientType(TKRGradientType value);
    int GradientRotation() const { return m_gradientRotation; }
    void SetGradientRotation(int value);
    int GradientShift() const { return m_gradientShift; }
    void SetGradientShift(int value);
    int BorderWidth() const { return m_borderWidth; }
    void SetBorderWidth(int value);
    bool NoRead() const { return m_noRead; }
    void SetNoRead(bool value) { m_noRead = value; }
    bool UseContrastFont() const { return m_useContrastFont; }
    void SetUseContrastFont(bool value) { m_useContrastFont = value; }
    bool RoundedButtons() const { return m_roundedButtons; }
    void SetRoundedButtons(bool value) { m_roundedButtons = value; }
    bool IgnoreControls() const { return m_ignoreControls; }
    void SetIgnoreControls(bool value) { m_ignoreControls = value; }
    // Relative to the executable's folder; empty means the executable's own
    // name with the extension ".ini".
    QString IniFileName() const { return m_iniFileName; }
    void SetIniFileName(const QString &value) { m_iniFileName = value; }

    // Colour sets; a form's stored values replace the generated ones until the
    // scheme next changes.
    const TKRColors &NormalColors() const { return m_normal; }
    void SetNormalColors(const TKRColors &value) { m_normal = value; }
    const TKRColors &HotColors() const { return m_hot; }
    void SetHotColors(const TKRColors &value) { m_hot = value; }
    const TKRColors &FocusColors() const { return m_focus; }
    void SetFocusColors(const TKRColors &value) { m_focus = value; }
    const TKRColors &DisableColors() const { return m_disable; }
    void SetDisableColors(const TKRColors &value) { m_disable = value; }

    // Colours of the objects drawn on themed surfaces.
    TColor ObjBackColor = 0;
    TColor ObjBackFontColor = 0;
    TColor ObjLineColor1 = 0;
    TColor ObjLineFontColor1 = 0;
    TColor ObjLineColor2 = 0;
    TColor ObjLineFontColor2 = 0;
    TColor ObjBorderColor = 0;
    TColor ObjSelColor = 0;
    TColor ObjSelFontColor = 0;
    TColor ObjFontColor = 0;
    TColor ObjFontContrastColor = 0;

    // The settings file LoadSettings reads.
    QString SettingsFilePath() const;
    void LoadSettings();
    void ApplyScheme();
    void PrepareArtistic(TKRArtistic &artistic);
    // Depth first, in child order: every widget below form that has a
    // "ThemeManager" property receives CM_THEMECHANGE.
    static void NotifyThemeChange(QWidget *form);

private:
    void RegenerateColors();
    void ChangeAndNotify(int &field, int value);
    static void NotifyActiveForm();

    TKRThemeColors m_themeColors = tcLaranja;
    TKRGradientType m_gradientType = gtRadialTL;
    int m_gradientRotation = 0;
    int m_gradientShift = 0;
    int m_borderWidth = 1;
    bool m_noRead = false;
    bool m_useContrastFont = false;
    bool m_roundedButtons = false;
    bool m_ignoreControls = false;
    QString m_iniFileName;
    TKRColors m_normal;
    TKRColors m_hot;
    TKRColors m_focus;
    TKRColors m_disable;
};
