// Colour schemes worked out by hand from the scheme tables, the theme's
// settings file and its change notifications.
//
// Hand work uses the shell's 0..240 scale: for a fully saturated colour
// (S = 240) with new luminance L > 120, m2 = 239.5 and m1 = 2L - 239.5; with
// L <= 120, m2 = 2L + 0.5 and m1 = -0.5. A channel is round(v) * 255 / 240 + 0.5,
// rounded, capped at 255; halves go to the even neighbour.
#include "system/app_env.h"
#include "uikit/kr_theme.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

namespace {

constexpr TColor rgb(int r, int g, int b)
{
    return MakeColorRef(r, g, b);
}

TKRColors Set(TColor a, TColor b, TColor c, TColor d, TColor e, TColor f)
{
    return {a, b, c, d, e, f};
}

TKRArtistic Generated(TKRThemeColors scheme)
{
    TKRArtistic artistic;
    GenerateSchemeColors(artistic, scheme);
    return artistic;
}

// Records, in order, the widgets that received the theme-change event.
class EventRecorder : public QObject
{
public:
    QStringList received;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == CM_THEMECHANGE)
            received << watched->objectName();
        return false;
    }
};

QWidget *Child(QWidget *parent, const char *name, bool themed, EventRecorder &recorder)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    if (themed)
        w->setProperty("ThemeManager", QVariant::fromValue<QObject *>(nullptr));
    w->installEventFilter(&recorder);
    return w;
}

} // namespace

class TestTheme : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    void WriteSettings(const QByteArray &tema, const QString &name = QStringLiteral("catraca-sync.ini"))
    {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[TEMA]\r\n" + tema);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SetExecutableFolderForTesting(m_dir.path());
    }

    void cleanup()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("catraca-sync.ini")));
    }

    void luminanceExamples()
    {
        QCOMPARE(ColorWithLuminance(rgb(255, 120, 47), 90), rgb(255, 241, 232));
        QCOMPARE(ColorWithLuminance(rgb(45, 150, 255), 30), rgb(0, 81, 162));
        // Greys keep S = 0: black at 50 -> L 127 -> 127 * 255 / 240 = 134.9
        QCOMPARE(ColorWithLuminance(rgb(0, 0, 0), 50), rgb(135, 135, 135));
        QCOMPARE(ColorWithLuminance(rgb(0, 0, 0), 100), rgb(255, 255, 255));
        // The percentage is clamped to 0..100.
        QCOMPARE(ColorWithLuminance(rgb(255, 120, 47), 150), ColorWithLuminance(rgb(255, 120, 47), 100));
        QCOMPARE(ColorWithLuminance(rgb(255, 120, 47), -20), rgb(0, 0, 0));
    }

    void singleColourSchemes()
    {
        // tcLaranja: A = rgb(255,120,47), H 14, S 240; F -5, E -10 -> levels
        // 90, 75, 55, 60, 45, 50. Red sits at m2, blue at m1, green at
        // m1 + ((m2 - m1) * 14 + 20) / 40.
        //  75: L 191, m1 142.5: green 142.5 + 34.45 = 176.95 -> 177 -> 188.56 -> 189; blue 142 -> 151.4
        //  45: L 114, m2 228.5, m1 -0.5: red 228 -> 242.75 -> 243; green 80.15 -> 80 -> 85.5 -> 86
        //  60: L 153, m1 66.5: green 127.55 -> 128 -> 136.5 -> 136; blue 66 -> 70.6 -> 71
        const TKRArtistic laranja = Generated(tcLaranja);
        QCOMPARE(laranja.NormalColors, Set(rgb(255, 241, 232), rgb(255, 189, 151), rgb(255, 118, 43),
                                           rgb(255, 136, 71), rgb(243, 86, 0), rgb(255, 100, 15)));
        // tcAzul: A = rgb(45,150,255), H 140: red at m1, blue at m2,
        // green m1 + ((m2 - m1) * 20 + 20) / 40. Level 90: L 229, m1 218.5:
        // red 218 -> 232.1; green 218.5 + 11 = 229.5 -> 230 -> 244.9 -> 245.
        QCOMPARE(Generated(tcAzul).NormalColors.GradientColorStart, rgb(232, 245, 255));
        // SelColorStart is level 45: L 114, m2 228.5, m1 -0.5: red -0.5 -> 0;
        // green -0.5 + (229 * 20 + 20) / 40 = 114.5 -> 114 -> 121.6 -> 122; blue 228 -> 243.
        QCOMPARE(Generated(tcAzul).NormalColors.SelColorStart, rgb(0, 122, 243));
    }

    void twoColourSchemes()
    {
        // tcPorDoSol: A = rgb(255,255,0) (H 40: red m2 + 0.5, green m2, blue m1),
        // B = rgb(255,0,0) (H 0: red m2, green m1 + 0.5, blue m1); F -15, E -20.
        // Normal levels: A 75, B 70, A 50, B 45, A 40, B 35.
        //  B 70: L 178, m1 116.5: green 117 -> 124.8 -> 125; blue 116 -> 123.75 -> 124
        //  A 40: L 102, m2 204.5: red 205 -> 218.3; green 204 -> 217.25
        //  B 35: L 89, m2 178.5: red 178 -> 189.6 -> 190
        QCOMPARE(Generated(tcPorDoSol).NormalColors,
                 Set(rgb(255, 255, 151), rgb(255, 125, 124), rgb(255, 255, 15), rgb(243, 0, 0), rgb(218, 217, 0),
                     rgb(190, 0, 0)));
        // Focus: A 70 -> (255,255,124); B 65: L 165, m1 90.5: green 91 -> 97.2 -> 97; blue 90 -> 96.1 -> 96
        QCOMPARE(Generated(tcPorDoSol).FocusColors.GradientColorStart, rgb(255, 255, 124));
        QCOMPARE(Generated(tcPorDoSol).FocusColors.GradientColorEnd, rgb(255, 97, 96));

        // tcPretoRoxo: F -40 instead of the group's -50. A = rgb(87,0,174), H 180:
        // red m1 + ((m2 - m1) * 20 + 20) / 40, green m1, blue m2.
        //  A 50: L 127, m1 14.5: red 14.5 + 113 = 127.5 -> 128 -> 136.5 -> 136; green 14 -> 15
        //  A 25: L 63, m2 126.5: red -0.5 + 64 = 63.5 -> 64 -> 68.5 -> 68; blue 126 -> 134.4
        //  A 15: L 38, m2 76.5: red 38.5 -> 38 -> 40.9 -> 41; blue 76 -> 81.25
        // End colours come from black at negative levels: black.
        QCOMPARE(Generated(tcPretoRoxo).NormalColors,
                 Set(rgb(136, 15, 255), 0, rgb(68, 0, 134), 0, rgb(41, 0, 81), 0));
    }

    void schemesWithSecondOffsets()
    {
        // Office schemes: NormalColors from the grey rgb(192,192,192) only
        // (levels 95, 70, 70, 45, 60, 35 -> L 242, 178, 178, 114, 153, 89 -> * 255 / 240).
        const TKRColors officeNormal = Set(rgb(255, 255, 255), rgb(189, 189, 189), rgb(189, 189, 189),
                                           rgb(121, 121, 121), rgb(163, 163, 163), rgb(95, 95, 95));
        QCOMPARE(Generated(tcOfficeBlue).NormalColors, officeNormal);
        // tcOfficeRed: B = rgb(255,128,128) has H 0, S 240 like pure red.
        // Focus from B at 90, 65, 65, 40, 55, 30:
        //  90: L 229, m1 218.5: green 219 -> 233.2; blue 218 -> 232.1
        //  40: L 102, m2 204.5: red 204 -> 217.25
        //  55: L 140, m1 40.5: green 41 -> 44.06; blue 40 -> 43
        //  30: L 76, m2 152.5: red 152 -> 162
        const TKRArtistic officeRed = Generated(tcOfficeRed);
        QCOMPARE(officeRed.NormalColors, officeNormal);
        QCOMPARE(officeRed.FocusColors, Set(rgb(255, 233, 232), rgb(255, 97, 96), rgb(255, 97, 96), rgb(217, 0, 0),
                                            rgb(255, 44, 43), rgb(162, 0, 0)));

        // tcBlackGold: F2 -45, E2 -75. B = rgb(213,208,47): L 122, S 159, H 39:
        // red m2, green m1 + ((m2 - m1) * 39 + 20) / 40, blue m1.
        //  40: L 102, m2 = (102 * 399 + 120) / 240 = 170.075, m1 33.925:
        //      red 170 -> 181.1; green 167.17 -> 167 -> 177.9 -> 178; blue 34 -> 36.6 -> 37
        //  10: L 25, m2 42.0625, m1 7.9375: red 42 -> 45.1; green 41.7 -> 42 -> 45; blue 8 -> 9
        //  15: L 38, m2 63.675, m1 12.325: red 64 -> 68.5 -> 68; green 62.9 -> 63 -> 67.4; blue 12 -> 13.25
        //   0: L 0, m2 0.5, m1 -0.5: green -0.5 + 59 / 40 = 0.975 -> 1 -> 1.56 -> 2
        //   5: L 12, m2 20.45, m1 3.55: red 20 -> 21.75 -> 22; green 20.53 -> 21 -> 22.8 -> 23; blue 4 -> 4.75 -> 5
        const TKRArtistic blackGold = Generated(tcBlackGold);
        QCOMPARE(blackGold.FocusColors, Set(rgb(181, 178, 37), rgb(45, 45, 9), rgb(68, 67, 13), rgb(0, 2, 0),
                                            rgb(22, 23, 5), rgb(0, 2, 0)));
        // Normal from black only: 30 -> L 76 -> 80.75; 5 -> L 12 -> 12.75
        QCOMPARE(blackGold.NormalColors, Set(rgb(81, 81, 81), 0, rgb(13, 13, 13), 0, 0, 0));
    }

    void objectColours()
    {
        TKRTheme theme;
        TKRArtistic artistic;
        // tcBrancoAmarelo (E -20, border 32, sel 35, m 100, font 20; h 2, v 2, l 2):
        // B = rgb(179,179,0), H 40 (red m2 + 0.5, green m2, blue m1).
        GenerateSchemeColors(artistic, tcBrancoAmarelo, &theme);
        //  Normal: white at 100, 85, 75 -> 255, 229.5 -> 230, 202.9 -> 203;
        //  B 70: (255,255,124); B 45: L 114, m2 228.5: red 229 -> 243.8 -> 244, green 228 -> 243;
        //  B 35: L 89, m2 178.5: red 179 -> 190.7 -> 191, green 178 -> 190
        QCOMPARE(artistic.NormalColors, Set(rgb(255, 255, 255), rgb(255, 255, 124), rgb(230, 230, 230),
                                            rgb(244, 243, 0), rgb(203, 203, 203), rgb(191, 190, 0)));
        QCOMPARE(theme.ObjBackColor, rgb(255, 255, 255));     // B at 96: m1 248.5 caps everything
        QCOMPARE(theme.ObjLineColor1, rgb(255, 255, 238));    // B at 91: L 232, m1 224.5 -> 224 -> 238.5 -> 238
        QCOMPARE(theme.ObjBorderColor, rgb(174, 173, 0));     // B at 32: L 81, m2 162.5: 163 -> 173.7, 162 -> 172.6
        QCOMPARE(theme.ObjSelColor, rgb(191, 190, 0));        // B at 35
        QCOMPARE(theme.ObjSelFontColor, rgb(255, 255, 255));  // m 100
        QCOMPARE(theme.ObjFontColor, rgb(110, 109, 0));       // B at 20: L 51, m2 102.5: 103 -> 109.9, 102 -> 108.9
        QCOMPARE(theme.ObjFontContrastColor, rgb(0, 0, 0));

        // tcBlackGold: h 1 (X = black), l 2 (Z = gold), contrast white.
        GenerateSchemeColors(artistic, tcBlackGold, &theme);
        QCOMPARE(theme.ObjBackColor, rgb(13, 13, 13));        // black at 5
        QCOMPARE(theme.ObjBackFontColor, rgb(243, 243, 243)); // black at 90: L 229 -> 243.3
        QCOMPARE(theme.ObjSelColor, rgb(91, 90, 19));         // gold at 20: m2 85.2875, m1 16.7125
        QCOMPARE(theme.ObjFontColor, rgb(255, 255, 255));     // gold at 95
        QCOMPARE(theme.ObjFontContrastColor, rgb(255, 255, 255));

        // tcOfficeRed: Y1 = A (grey at 85: L 216 -> 229.5 -> 230), X = Z = B.
        GenerateSchemeColors(artistic, tcOfficeRed, &theme);
        QCOMPARE(theme.ObjLineColor1, rgb(230, 230, 230));
        QCOMPARE(theme.ObjBackColor, rgb(255, 233, 232));
        QCOMPARE(theme.ObjSelColor, rgb(162, 0, 0));
    }

    void disabledGreysForEveryScheme()
    {
        const TKRColors greys = Set(rgb(245, 245, 245), rgb(223, 223, 223), rgb(219, 219, 219), rgb(190, 190, 190),
                                    rgb(162, 162, 162), rgb(133, 133, 133));
        for (int s = 0; s < ThemeColorsCount; ++s)
            QCOMPARE(Generated(TKRThemeColors(s)).DisableColors, greys);
    }

    void schemeTables()
    {
        QCOMPARE(SchemeBaseColor(clFloresta), rgb(172, 255, 0));
        QCOMPARE(SchemeSecondColor(clFloresta), rgb(39, 253, 2));
        QCOMPARE(SchemeBaseColor(tcBrancoPiscina), rgb(0, 0, 0));
        QCOMPARE(SchemeBaseColor(tcBrancoLilas), rgb(255, 255, 255));
        QCOMPARE(SchemeBaseColor(tcBlackOrange), rgb(255, 255, 255));
        QCOMPARE(SchemeSecondColor(tcPretoVinho), rgb(0, 0, 0));
        QCOMPARE(SchemeBaseColor(tcPretoAzul), rgb(0, 87, 151));
        QCOMPARE(SchemeSecondColor(tcOfficeOrange), rgb(255, 162, 117));
        QCOMPARE(SchemeSecondColor(tcNoTheme), rgb(0, 0, 0));
        QCOMPARE(SchemeParams(tcBrasil).E, -40);
        QCOMPARE(SchemeParams(tcBlackGold).F2, -45);
        QCOMPARE(SchemeParams(tcBlackPool).sel, 25);
        QVERIFY(!SchemeParams(tcBrancoGold).HasSecondOffsets);
        // Only single-colour schemes have equal ends.
        for (int s = 0; s < ThemeColorsCount; ++s)
            QCOMPARE(SchemeBaseColor(TKRThemeColors(s)) == SchemeSecondColor(TKRThemeColors(s)), s <= tcVinho);
    }

    void newThemeDefaults()
    {
        TKRTheme theme;
        QCOMPARE(theme.ThemeColors(), tcLaranja);
        QCOMPARE(theme.GradientType(), gtRadialTL);
        QCOMPARE(theme.GradientRotation(), 0);
        QCOMPARE(theme.GradientShift(), 0);
        QCOMPARE(theme.BorderWidth(), 1);
        QCOMPARE(theme.NormalColors(), Generated(tcLaranja).NormalColors);
        QCOMPARE(theme.property("ThemeColors").value<TKRThemeColors>(), tcLaranja);
    }

    void sameSchemeKeepsStoredColours()
    {
        // The colours the message dialog stores with its tcAzul theme.
        const TKRColors stored = Set(rgb(217, 236, 255), rgb(176, 216, 255), rgb(168, 211, 255), rgb(136, 196, 255),
                                     rgb(45, 150, 255), rgb(0, 70, 140));
        TKRTheme theme;
        theme.SetThemeColors(tcAzul);
        theme.SetNormalColors(stored);
        theme.SetThemeColors(tcAzul);
        QCOMPARE(theme.NormalColors(), stored);
        theme.SetThemeColors(tcRoxo);
        QCOMPARE(theme.NormalColors(), Generated(tcRoxo).NormalColors);
    }

    void prepareArtisticCopiesSettingsAndColours()
    {
        TKRTheme theme;
        theme.SetThemeColors(tcBlackGold);
        theme.SetGradientType(gtDiamond);
        theme.SetGradientRotation(-30);
        theme.SetGradientShift(250); // beyond the range: clamped
        theme.SetBorderWidth(3);
        theme.ObjBackColor = rgb(1, 2, 3);
        TKRArtistic artistic;
        theme.PrepareArtistic(artistic);
        QCOMPARE(artistic.GradientType, gtDiamond);
        QCOMPARE(artistic.GradientRotation, -30);
        QCOMPARE(artistic.GradientShift, 100);
        QCOMPARE(artistic.BorderWidth, 3);
        QCOMPARE(artistic.FocusColors, Generated(tcBlackGold).FocusColors);
        QCOMPARE(theme.ObjBackColor, rgb(13, 13, 13));
    }

    void settingsFileNames()
    {
        TKRTheme theme;
        QCOMPARE(theme.SettingsFilePath(), m_dir.filePath(QStringLiteral("catraca-sync.ini")));
        theme.SetIniFileName(QStringLiteral("tema.ini"));
        QCOMPARE(theme.SettingsFilePath(), QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("tema.ini"))));
    }

    void loadWithoutFileGivesDefaults()
    {
        TKRTheme theme;
        theme.SetThemeColors(tcAzul);
        theme.SetGradientType(gtRadialC);
        theme.SetGradientRotation(40);
        theme.SetBorderWidth(4);
        theme.SetRoundedButtons(true);
        theme.LoadSettings();
        QCOMPARE(theme.ThemeColors(), tcPreto);
        QCOMPARE(theme.GradientType(), gtLight);
        QCOMPARE(theme.GradientRotation(), 0);
        QCOMPARE(theme.GradientShift(), 0);
        QCOMPARE(theme.BorderWidth(), 1);
        QCOMPARE(theme.RoundedButtons(), false);
        QCOMPARE(theme.HotColors(), Generated(tcPreto).HotColors);
    }

    void noReadChangesNothing()
    {
        WriteSettings("COLOR=3\r\nGRADTYPE=2\r\n");
        TKRTheme theme;
        theme.SetNoRead(true);
        theme.SetThemeColors(tcAzul);
        const TKRColors stored = Set(1, 2, 3, 4, 5, 6);
        theme.SetNormalColors(stored);
        theme.LoadSettings();
        QCOMPARE(theme.ThemeColors(), tcAzul);
        QCOMPARE(theme.GradientType(), gtRadialTL);
        QCOMPARE(theme.NormalColors(), stored);
    }

    void loadReadsEveryKey()
    {
        WriteSettings("COLOR=41\r\nGRADTYPE=9\r\nGRADROTATION=-30\r\nGRADSHIF=40\r\nBORDERWIDTH=2\r\n"
                      "CONTRASTFONT=1\r\nROUNDEDBUTTONS=1\r\nIGNORECONTROLS=1\r\n");
        TKRTheme theme;
        theme.LoadSettings();
        QCOMPARE(theme.ThemeColors(), tcBrancoLaranja);
        QCOMPARE(theme.GradientType(), gtLinearH);
        QCOMPARE(theme.GradientRotation(), -30);
        QCOMPARE(theme.GradientShift(), 40);
        QCOMPARE(theme.BorderWidth(), 2);
        QVERIFY(theme.UseContrastFont());
        QVERIFY(theme.RoundedButtons());
        QVERIFY(theme.IgnoreControls());
        QCOMPARE(theme.NormalColors(), Generated(tcBrancoLaranja).NormalColors);
        // Reading never writes the file.
        QFile f(m_dir.filePath(QStringLiteral("catraca-sync.ini")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith("[TEMA]\r\nCOLOR=41\r\n"));
    }

    void loadKeepsOneByteFields()
    {
        // 257 and 265 land on 1 and 9 in a byte; 200 is -56 as a signed byte.
        WriteSettings("COLOR=257\r\nGRADTYPE=265\r\nGRADROTATION=200\r\nGRADSHIF=-1\r\n");
        TKRTheme theme;
        theme.LoadSettings();
        QCOMPARE(theme.ThemeColors(), tcAzul);
        QCOMPARE(theme.GradientType(), gtLinearH);
        QCOMPARE(theme.GradientRotation(), -56);
        QCOMPARE(theme.GradientShift(), -1);
    }

    void damagedSettingsFallBack_data()
    {
        QTest::addColumn<QByteArray>("tema");
        QTest::newRow("past the tables") << QByteArray("COLOR=66\r\nGRADTYPE=27\r\nGRADROTATION=120\r\n");
        QTest::newRow("negative") << QByteArray("COLOR=-1\r\nGRADTYPE=-1\r\nGRADROTATION=-128\r\n");
        QTest::newRow("byte maximum") << QByteArray("COLOR=255\r\nGRADTYPE=255\r\nGRADROTATION=127\r\n");
    }

    void damagedSettingsFallBack()
    {
        QFETCH(QByteArray, tema);
        WriteSettings(tema + "GRADSHIF=-120\r\n");
        TKRTheme theme;
        theme.LoadSettings();
        QCOMPARE(theme.ThemeColors(), tcPreto);
        QCOMPARE(theme.GradientType(), gtLight);
        QCOMPARE(qAbs(theme.GradientRotation()), 100);
        QCOMPARE(theme.GradientShift(), -100);
        QCOMPARE(theme.NormalColors(), Generated(tcPreto).NormalColors);
        TKRArtistic artistic;
        theme.PrepareArtistic(artistic);
        QImage image(30, 20, QImage::Format_RGB32);
        QPainter p(&image);
        artistic.PaintControlFace(p, psHot);
    }

    void notifyVisitsThemedChildrenDepthFirst()
    {
        EventRecorder recorder;
        QWidget form;
        QWidget *a = Child(&form, "a", true, recorder);
        QWidget *b = Child(&form, "b", false, recorder);
        Child(b, "c", true, recorder);
        Child(Child(b, "d", false, recorder), "e", true, recorder);
        Child(&form, "f", true, recorder);
        Child(a, "g", true, recorder);
        QWidget *window = Child(&form, "window", true, recorder);
        window->setWindowFlags(Qt::Window);
        TKRTheme::NotifyThemeChange(&form);
        QCOMPARE(recorder.received, QStringList({"a", "g", "c", "e", "f"}));
        TKRTheme::NotifyThemeChange(nullptr);
    }

    void settersNotifyTheActiveFormOnlyOnChange()
    {
        EventRecorder recorder;
        QWidget form;
        Child(&form, "button", true, recorder);
        form.show();
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form))
            QSKIP("no active window on this platform");
        TKRTheme theme;
        theme.SetGradientType(gtFlat);
        QCOMPARE(recorder.received.size(), 1);
        theme.SetGradientType(gtFlat);
        theme.SetGradientRotation(0);
        theme.SetGradientShift(0);
        theme.SetBorderWidth(1);
        theme.SetThemeColors(tcLaranja);
        QCOMPARE(recorder.received.size(), 1);
        theme.SetBorderWidth(2);
        theme.SetGradientShift(5);
        theme.SetGradientRotation(5);
        theme.SetThemeColors(tcVerde);
        QCOMPARE(recorder.received.size(), 5);
    }
};

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
