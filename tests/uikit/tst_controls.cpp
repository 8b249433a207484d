#include "base/kr_trace.h"
#include "uikit/kr_comboradiobox.h"
#include "uikit/kr_controls.h"
#include "uikit/kr_db.h"
#include "uikit/kr_theme.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include <stdexcept>

namespace {
double MeanGrey(const QImage &image, const QRect &area)
{
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += qGray(image.pixel(x, y));
    return sum / (area.width() * area.height());
}

void Enter(QWidget *w, QPoint at)
{
    QEnterEvent e(at, w->mapTo(w->window(), at), w->mapToGlobal(at));
    QCoreApplication::sendEvent(w, &e);
}

void Leave(QWidget *w)
{
    QEvent e(QEvent::Leave);
    QCoreApplication::sendEvent(w, &e);
}

void DragTo(QWidget *w, QPoint at)
{
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

// One record with fields by name; a field that refuses values throws.
class FakeSource : public TDataSource
{
public:
    State state = dsBrowse;
    QMap<QString, QVariant> fields;
    QString refusing;
    int edits = 0, posts = 0;

    State DataSetState() const override { return state; }
    bool HasField(const QString &name) const override { return fields.contains(name); }
    QVariant FieldValue(const QString &name) const override { return fields.value(name); }
    void SetFieldValue(const QString &name, const QVariant &value) override
    {
        if (name == refusing)
            throw std::runtime_error("refused");
        fields[name] = value;
    }
    void ClearField(const QString &name) override { fields[name] = QVariant(); }
    void Edit() override { ++edits; state = dsEdit; }
    void Post() override { ++posts; state = dsBrowse; }
};

QImage TestGlyph()
{
    QImage g(4, 4, QImage::Format_RGB32);
    g.fill(qRgb(10, 20, 31));
    g.setPixel(0, 0, qRgb(255, 255, 255));
    return g;
}
} // namespace

class TestControls : public QObject
{
    Q_OBJECT
private slots:
    void panelDarkerAtRestLighterUnderMouse();
    void buttonDraggedOffKeepsPressedLosesHot();
    void modalResultSetBeforeClickHandler();
    void noThemeIsFlatWithBlackFrameAndText_data();
    void noThemeIsFlatWithBlackFrameAndText();
    void glyphLayout_data();
    void glyphLayout();
    void glyphEffects();
    void enterAndSpaceClickFocusedButton();
    void defaultAndCancelKeys();
    void captionAccelerator();
    void comboValuesAndDataLink();
    void comboExitWritesSelectedValue();
    void dataLinkWithoutSourceIsInactive();
    void tracePointsOfComboAndLink();
};

void TestControls::panelDarkerAtRestLighterUnderMouse()
{
    TKRTheme theme;
    theme.SetThemeColors(tcAzul);
    TKRPanel panel;
    panel.SetTheme(&theme);
    panel.resize(120, 40);
    QVERIFY(panel.IsStatic());
    QCOMPARE(panel.focusPolicy(), Qt::NoFocus);
    const QRect inner(3, 3, 114, 34);
    const double rest = MeanGrey(panel.grab().toImage(), inner);
    Enter(&panel, QPoint(5, 5));
    QVERIFY(panel.IsHot());
    const double hover = MeanGrey(panel.grab().toImage(), inner);
    QVERIFY2(hover > rest + 5, qPrintable(QStringLiteral("rest %1, hover %2").arg(rest).arg(hover)));
    Leave(&panel);
    QVERIFY(!panel.IsHot());
    QCOMPARE(panel.LastMousePos(), QPoint(-1, -1));
    QCOMPARE(MeanGrey(panel.grab().toImage(), inner), rest);
}

void TestControls::buttonDraggedOffKeepsPressedLosesHot()
{
    TKRButton button;
    QSignalSpy clicks(&button, &TKRButton::clicked);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    Enter(&button, QPoint(10, 10));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(button.IsPressed());
    QVERIFY(button.IsHot());
    QCOMPARE(button.PaintState(), int(psPressed));
    DragTo(&button, QPoint(200, 10));
    QVERIFY(button.IsPressed());
    QVERIFY(!button.IsHot());
    DragTo(&button, QPoint(12, 12));
    QVERIFY(button.IsHot());
    DragTo(&button, QPoint(-5, 12));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(-5, 12));
    QVERIFY(!button.IsPressed());
    // Released away from the button: no click.
    QCOMPARE(clicks.count(), 0);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(clicks.count(), 1);
}

void TestControls::modalResultSetBeforeClickHandler()
{
    QDialog form;
    auto *stay = new TKRButton(&form);
    auto *close = new TKRButton(&form);
    close->move(0, 40);
    close->SetModalResult(3);
    int seen = -1;
    QObject::connect(stay, &TKRButton::clicked, [&] { seen = form.result(); });
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.setResult(7);
    QTest::mouseClick(stay, Qt::LeftButton);
    QCOMPARE(seen, 0);
    QVERIFY(form.isVisible());

    QObject::connect(close, &TKRButton::clicked, [&] { seen = form.result(); });
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(seen, 3);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), 3);
}

void TestControls::noThemeIsFlatWithBlackFrameAndText_data()
{
    QTest::addColumn<bool>("withTheme");
    QTest::addColumn<bool>("panel");
    QTest::newRow("button, tcNoTheme") << true << false;
    QTest::newRow("panel, tcNoTheme") << true << true;
    QTest::newRow("button without theme") << false << false;
}

void TestControls::noThemeIsFlatWithBlackFrameAndText()
{
    QFETCH(bool, withTheme);
    QFETCH(bool, panel);
    TKRTheme theme;
    theme.SetThemeColors(tcNoTheme);
    std::unique_ptr<TKRControl> control;
    if (panel) {
        auto *p = new TKRPanel;
        p->SetCaption(QStringLiteral("Painel"));
        control.reset(p);
    } else {
        auto *b = new TKRButton;
        b->SetCaption(QStringLiteral("Botão"));
        control.reset(b);
    }
    if (withTheme)
        control->SetTheme(&theme);
    // The scheme overrides the font's own colour; without a theme it is kept.
    control->SetFontColor(withTheme ? QColor(Qt::red) : QColor(Qt::black));
    const TColor fill = MakeColorRef(200, 220, 120);
    control->SetColor(fill);
    control->resize(90, 30);
    const QImage image = control->grab().toImage();
    const QRgb black = qRgb(0, 0, 0);
    for (int x = 0; x < 90; ++x)
        QVERIFY(image.pixel(x, 0) == black && image.pixel(x, 29) == black);
    for (int y = 0; y < 30; ++y)
        QVERIFY(image.pixel(0, y) == black && image.pixel(89, y) == black);
    QCOMPARE(image.pixel(2, 2), FromColorRef(fill).rgb());
    // Everything inside is the fill, the text's black, or a blend of the two.
    bool text = false;
    for (int y = 1; y < 29; ++y) {
        for (int x = 1; x < 89; ++x) {
            const QRgb p = image.pixel(x, y);
            QVERIFY(qRed(p) <= 200 && qGreen(p) <= 220 && qBlue(p) <= 120);
            QVERIFY(qRed(p) * 220 / 200 - qGreen(p) <= 3 && qGreen(p) - qRed(p) * 220 / 200 <= 3);
            text = text || qGreen(p) < 60;
        }
    }
    QVERIFY(text);
}

void TestControls::glyphLayout_data()
{
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("border");
    QTest::addColumn<bool>("caption");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<QPoint>("glyph");
    QTest::addColumn<QPoint>("text");
    // Button 75 × 25, caption 20 × 14, glyph 16 × 16: x0 = 27, y0 = 5.
    QTest::newRow("left") << int(gpLeft) << 1 << true << false << QPoint(18, 4) << QPoint(37, 5);
    QTest::newRow("left, border 3") << int(gpLeft) << 3 << true << false << QPoint(17, 4) << QPoint(38, 5);
    QTest::newRow("left, no caption") << int(gpLeft) << 3 << false << false << QPoint(19, 4) << QPoint(37, 5);
    QTest::newRow("left, pressed") << int(gpLeft) << 1 << true << true << QPoint(19, 5) << QPoint(38, 6);
    QTest::newRow("right") << int(gpRight) << 1 << true << false << QPoint(40, 4) << QPoint(17, 5);
    QTest::newRow("top") << int(gpTop) << 1 << true << false << QPoint(29, -4) << QPoint(27, 13);
    QTest::newRow("top, border 2") << int(gpTop) << 2 << true << false << QPoint(29, -4) << QPoint(27, 14);
    QTest::newRow("bottom") << int(gpBottom) << 1 << true << false << QPoint(29, 12) << QPoint(27, -3);
}

void TestControls::glyphLayout()
{
    QFETCH(int, pos);
    QFETCH(int, border);
    QFETCH(bool, caption);
    QFETCH(bool, pressed);
    QFETCH(QPoint, glyph);
    QFETCH(QPoint, text);
    const auto where = TKRButton::LayoutContent(QSize(75, 25), QSize(20, 14), QSize(16, 16), TKRGlyphPos(pos), border,
                                                caption, pressed);
    QCOMPARE(where.glyph, glyph);
    QCOMPARE(where.caption, text);
    const auto plain = TKRButton::LayoutContent(QSize(75, 25), QSize(20, 14), QSize(), TKRGlyphPos(pos), border,
                                                caption, false);
    QCOMPARE(plain.caption, QPoint(27, 5));
}

void TestControls::glyphEffects()
{
    const QImage g = TestGlyph();
    auto alpha = [](const QImage &i, int x, int y) { return qAlpha(i.pixel(x, y)); };
    // The top-left colour is transparent wherever it appears.
    QImage plain = g;
    plain.setPixel(3, 3, qRgb(255, 255, 255));
    const QImage drawn = TKRButton::PreparedGlyph(plain, 0, psNormal);
    QCOMPARE(alpha(drawn, 0, 0), 0);
    QCOMPARE(alpha(drawn, 3, 3), 0);
    QCOMPARE(drawn.pixel(1, 0), qRgb(10, 20, 31));

    const QImage grey = TKRButton::PreparedGlyph(g, geGray, psNormal);
    QCOMPARE(grey.pixel(1, 0), qRgb(20, 20, 20)); // (10 + 20 + 31) / 3 rounded
    QCOMPARE(TKRButton::PreparedGlyph(g, geGray, psDisabled).pixel(1, 0), qRgb(20, 20, 20));
    // Hot, focused and pressed glyphs keep their colours.
    for (int state : {int(psFocused), int(psHot), int(psPressed)})
        QCOMPARE(TKRButton::PreparedGlyph(g, geGray | geChecker | geDiagonal, state).pixel(1, 0), qRgb(10, 20, 31));

    const QImage checker = TKRButton::PreparedGlyph(g, geChecker, psNormal);
    QCOMPARE(alpha(checker, 1, 1), 0);
    QCOMPARE(alpha(checker, 2, 0), 0);
    QCOMPARE(alpha(checker, 3, 1), 0);
    QCOMPARE(alpha(checker, 1, 0), 255);
    QCOMPARE(alpha(checker, 0, 1), 255);

    const QImage diagonal = TKRButton::PreparedGlyph(g, geDiagonal, psNormal);
    QCOMPARE(alpha(diagonal, 1, 0), 0);
    QCOMPARE(alpha(diagonal, 1, 1), 0);
    QCOMPARE(alpha(diagonal, 2, 1), 0);
    QCOMPARE(alpha(diagonal, 3, 2), 0);
    QCOMPARE(alpha(diagonal, 2, 0), 255);
    QCOMPARE(alpha(diagonal, 0, 1), 255);
    QCOMPARE(alpha(diagonal, 3, 1), 255);
}

void TestControls::enterAndSpaceClickFocusedButton()
{
    TKRButton button;
    QSignalSpy clicks(&button, &TKRButton::clicked);
    button.show();
    QVERIFY(QTest::qWaitForWindowActive(&button));
    button.setFocus();
    QTest::keyClick(&button, Qt::Key_Return);
    QCOMPARE(clicks.count(), 1);
    QTest::keyPress(&button, Qt::Key_Space);
    QCOMPARE(clicks.count(), 1); // only on release
    QTest::keyRelease(&button, Qt::Key_Space);
    QCOMPARE(clicks.count(), 2);
    QTest::keyClick(&button, Qt::Key_A);
    QCOMPARE(clicks.count(), 2);
}

void TestControls::defaultAndCancelKeys()
{
    QDialog form;
    auto *edit = new QLineEdit(&form);
    auto *ok = new TKRButton(&form);
    auto *cancel = new TKRButton(&form);
    auto *other = new TKRButton(&form);
    ok->move(0, 30);
    cancel->move(80, 30);
    other->move(160, 30);
    ok->SetDefault(true);
    cancel->SetCancel(true);
    QSignalSpy okClicks(ok, &TKRButton::clicked);
    QSignalSpy cancelClicks(cancel, &TKRButton::clicked);
    QSignalSpy otherClicks(other, &TKRButton::clicked);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    edit->setFocus();

    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(okClicks.count(), 1);
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(cancelClicks.count(), 1);
    // With a modifier held the dialog keys are not theirs.
    QTest::keyClick(edit, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Escape, Qt::ControlModifier);
    QCOMPARE(okClicks.count(), 1);
    QCOMPARE(cancelClicks.count(), 1);
    // A focused button answers Enter itself.
    other->setFocus();
    QTest::keyClick(other, Qt::Key_Return);
    QCOMPARE(otherClicks.count(), 1);
    QCOMPARE(okClicks.count(), 1);
    // A default button that cannot take the focus does nothing.
    ok->setEnabled(false);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(okClicks.count(), 1);
    ok->setEnabled(true);
    ok->SetDefault(false);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(okClicks.count(), 1);
}

void TestControls::captionAccelerator()
{
    QWidget form;
    auto *edit = new QLineEdit(&form);
    auto *button = new TKRButton(&form);
    button->move(0, 30);
    button->SetCaption(QStringLiteral("&Salvar && sair"));
    QCOMPARE(button->DisplayCaption(), QStringLiteral("Salvar & sair"));
    QSignalSpy clicks(button, &TKRButton::clicked);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(clicks.count(), 1);
    button->setEnabled(false);
    QTest::keyClick(edit, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(clicks.count(), 1);
}

void TestControls::comboValuesAndDataLink()
{
    TKRComboRadioBox combo;
    combo.addItems({QStringLiteral("Loja"), QStringLiteral("Matriz")});
    QStringList values{QStringLiteral("L"), QStringLiteral("M")};
    combo.SetValues(values);
    values[0] = QStringLiteral("changed");
    QCOMPARE(combo.Values(), QStringList({QStringLiteral("L"), QStringLiteral("M")}));

    FakeSource source;
    source.fields[QStringLiteral("TIPO")] = QStringLiteral("M");
    combo.DataLink().SetDataSource(&source);
    combo.DataLink().SetDataField(QStringLiteral("TIPO"));
    QVERIFY(combo.DataLink().IsActive());
    combo.DataLink().DataChange();
    QCOMPARE(combo.currentIndex(), 1);
    // Showing the value does not leave the link blocked.
    QVERIFY(combo.DataLink().UpdatingAllowed());

    source.fields[QStringLiteral("TIPO")] = QVariant();
    combo.DataLink().DataChange();
    QCOMPARE(combo.currentIndex(), -1);
    source.fields[QStringLiteral("TIPO")] = QStringLiteral("desconhecido");
    combo.DataLink().DataChange();
    QCOMPARE(combo.currentIndex(), -1);

    combo.setEditable(true);
    combo.DataLink().DataChange();
    QCOMPARE(combo.currentText(), QStringLiteral("desconhecido"));
}

void TestControls::comboExitWritesSelectedValue()
{
    QWidget form;
    auto *combo = new TKRComboRadioBox(&form);
    auto *edit = new QLineEdit(&form);
    edit->move(0, 40);
    combo->addItems({QStringLiteral("Loja"), QStringLiteral("Matriz")});
    combo->SetValues({QStringLiteral("L"), QStringLiteral("M")});
    FakeSource source;
    source.fields[QStringLiteral("TIPO")] = QStringLiteral("L");
    combo->DataLink().SetDataSource(&source);
    combo->DataLink().SetDataField(QStringLiteral("TIPO"));
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    combo->setFocus();
    combo->setCurrentIndex(1);
    edit->setFocus();
    QCOMPARE(source.fields.value(QStringLiteral("TIPO")).toString(), QStringLiteral("M"));
    QCOMPARE(source.edits, 1);
    QCOMPARE(source.posts, 1);

    combo->setFocus();
    combo->setCurrentIndex(-1);
    edit->setFocus();
    QVERIFY(source.fields.value(QStringLiteral("TIPO")).isNull());

    // A value the field refuses clears the field instead.
    source.fields[QStringLiteral("TIPO")] = QStringLiteral("L");
    source.refusing = QStringLiteral("TIPO");
    combo->setFocus();
    combo->setCurrentIndex(1);
    edit->setFocus();
    QVERIFY(source.fields.value(QStringLiteral("TIPO")).isNull());
    QVERIFY(combo->DataLink().UpdatingAllowed());
}

void TestControls::dataLinkWithoutSourceIsInactive()
{
    TKRComboRadioBox combo;
    TKRFieldDataLink &link = combo.DataLink();
    QVERIFY(!link.IsActive());
    QVERIFY(!link.Active());
    link.SetDataField(QStringLiteral("X"));
    link.SetValue(QStringLiteral("v")); // nowhere to write: nothing happens
    QVERIFY(!link.Value().isValid());
    FakeSource source;
    link.SetDataSource(&source);
    QVERIFY(!link.IsActive()); // no such field
    source.fields[QStringLiteral("X")] = 1;
    QVERIFY(link.IsActive());
    source.state = TDataSource::dsInactive;
    QVERIFY(!link.IsActive());
    source.state = TDataSource::dsBrowse;
    link.SetDataSource(nullptr);
    QVERIFY(!link.IsActive());
    QCOMPARE(link.GetDataSource(), nullptr);

    TKRFieldDataLink unbound(nullptr, nullptr);
    unbound.SetDataSource(&source);
    unbound.SetDataField(QStringLiteral("X"));
    QVERIFY(!unbound.IsActive()); // no control
}

void TestControls::tracePointsOfComboAndLink()
{
    TraceEnabled = true;
    TraceLog.clear();
    {
        TKRComboRadioBox combo;
        // The combo box's trace point comes first, then its link's.
        QCOMPARE(TraceLog.size(), 2);
        QVERIFY(TraceLog.at(0).endsWith(QStringLiteral("TKRComboRadioBox.Create / CODIGO: COMRADBOX95")));
        QVERIFY(TraceLog.at(1).endsWith(QStringLiteral("TKRFieldDataLink.Create / CODIGO: KRDB135")));
        combo.SetValues({});
        QCOMPARE(LastTraceName, QStringLiteral("TKRComboRadioBox.SetValues"));
        QCOMPARE(LastTraceCode, QStringLiteral("COMRADBOX86"));
        combo.ChangeData();
        QCOMPARE(LastTraceCode, QStringLiteral("COMRADBOX36"));
        combo.DataLink().GetDataField();
        QCOMPARE(LastTraceName, QStringLiteral("TKRFieldDataLink.GetDataField: string"));
        QCOMPARE(LastTraceCode, QStringLiteral("KRDB82"));
        combo.DataLink().IsActive();
        QCOMPARE(LastTraceName, QStringLiteral("TKRFieldDataLink.IsActive : Boolean"));
        combo.DataLink().GetDataSource();
        QCOMPARE(LastTraceName, QStringLiteral("TKRFieldDataLink.GetDataSource: TDataSource"));
        QCOMPARE(LastTraceCode, QStringLiteral("KRDB101"));
    }
    // The link goes with its combo box, after it.
    QCOMPARE(LastTraceCode, QStringLiteral("KRDB145"));
    QVERIFY(TraceLog.join(QLatin1Char('\n')).contains(QStringLiteral("TKRComboRadioBox.Destroy / CODIGO: COMRADBOX106")));
    TraceEnabled = false;
    TraceLog.clear();
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
