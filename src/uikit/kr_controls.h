#pragma once
// Themed windowed controls: each paints itself with a TKRTheme through its own
// painter, so a whole form changes colour with one scheme.
#include "uikit/kr_graphics.h"
#include "uikit/kr_theme.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <QMenu>

// rgb(240, 240, 240): the face colour of plain windows and dialogs.
inline constexpr TColor clBtnFace = MakeColorRef(240, 240, 240);

class TKRControl : public QWidget
{
    Q_OBJECT
    // The theme's notifications go to every widget that has this property.
    Q_PROPERTY(TKRTheme *ThemeManager READ Theme WRITE SetTheme)

public:
    explicit TKRControl(QWidget *parent = nullptr);

    TKRTheme *Theme() const { return m_theme; }
    void SetTheme(TKRTheme *theme);
    // With ParentColor on, the parent's background colour.
    TColor Color() const;
    void SetColor(TColor color);
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool value);
    bool UseFontColor() const { return m_useFontColor; }
    void SetUseFontColor(bool value);
    // The font's own colour, kept when UseFontColor is on.
    QColor FontColor() const;
    void SetFontColor(const QColor &color);

    bool IsHot() const { return m_hot; }
    bool IsPressed() const { return m_pressed; }
    bool IsStatic() const { return m_static; }
    QPoint LastMousePos() const { return m_mousePos; }
    // 4 disabled, 0 static, 3 pressed, 2 hot, 1 focused, else 0.
    int PaintState() const;
    // The theme's border width, 1 without a theme.
    int ThemeBorderWidth() const;
    const TKRArtistic &Artistic() const { return m_artistic; }

protected:
    void SetStatic(bool value) { m_static = value; }
    bool NoTheme() const;

    virtual void PaintBackground(QPainter &canvas);
    virtual void PaintContent(QPainter &canvas);

    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QPointer<TKRTheme> m_theme;
    TColor m_color = clBtnFace;
    bool m_parentColor = false;
    bool m_useFontColor = false;
    bool m_hot = false;
    bool m_pressed = false;
    bool m_static = false;
    bool m_painting = false;
    QPoint m_mousePos{-1, -1};
    TKRArtistic m_artistic;
};

enum TKRGlyphPos : quint8 { gpLeft, gpTop, gpRight, gpBottom };

// Effects applied to the glyph at rest and when disabled.
enum TKRGlyphEffect : quint8 {
    geGray = 1,        // every pixel becomes the average of its channels
    geChecker = 2,     // every other pixel, as a checkerboard, is cleared
    geDiagonal = 4,    // a two-pixel diagonal stroke is cleared
};

class TKRButton : public TKRControl
{
    Q_OBJECT
public:
    explicit TKRButton(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString &caption);
    int ModalResult() const { return m_modalResult; }
    void SetModalResult(int value) { m_modalResult = value; }
    bool Default() const { return m_default; }
    void SetDefault(bool value);
    bool Cancel() const { return m_cancel; }
    void SetCancel(bool value);
    TKRGlyphPos GlyphPos() const { return m_glyphPos; }
    void SetGlyphPos(TKRGlyphPos value);
    const QImage &Glyph() const { return m_glyph; }
    void SetGlyph(const QImage &glyph);
    int GlyphMask() const { return m_glyphMask; }
    void SetGlyphMask(int mask);
    QMenu *DropDownMenu() const { return m_dropDownMenu; }
    void SetDropDownMenu(QMenu *menu) { m_dropDownMenu = menu; }

    // Sets the form's modal result (also to 0), pops up the drop-down menu,
    // then runs the click handlers.
    void Click();

    // Where the content goes, for a caption of textSize and a glyph of
    // glyphSize (empty: none), in a button of buttonSize.
    struct ContentLayout {
        QPoint glyph;
        QPoint caption;
    };
    static ContentLayout LayoutContent(QSize buttonSize, QSize textSize, QSize glyphSize, TKRGlyphPos pos,
                                       int borderWidth, bool hasCaption, bool pressed);
    // The glyph as drawn in paint state `state`: effects at rest and disabled,
    // the top-left pixel's colour made transparent.
    static QImage PreparedGlyph(const QImage &glyph, int mask, int state);
    // The caption as shown: "&&" is a literal ampersand, a single one marks
    // the accelerator and is not drawn.
    QString DisplayCaption() const;

signals:
    void clicked();

protected:
    void PaintContent(QPainter &canvas) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool CanFocus() const;
    void UpdateDialogKeyWatch();

    QString m_caption;
    int m_modalResult = 0;
    bool m_default = false;
    bool m_cancel = false;
    bool m_spaceDown = false;
    bool m_watchingKeys = false;
    int m_shortcutId = 0;
    TKRGlyphPos m_glyphPos = gpLeft;
    QImage m_glyph;
    int m_glyphMask = 0;
    QPointer<QMenu> m_dropDownMenu;
};

class TKRPanel : public TKRControl
{
    Q_OBJECT
public:
    explicit TKRPanel(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString &caption);
    TKRHorzAlign AlignHorz() const { return m_alignHorz; }
    void SetAlignHorz(TKRHorzAlign value);
    TKRVertAlign AlignVert() const { return m_alignVert; }
    void SetAlignVert(TKRVertAlign value);

protected:
    void PaintContent(QPainter &canvas) override;

private:
    QString m_caption;
    TKRHorzAlign m_alignHorz = haCenter;
    TKRVertAlign m_alignVert = vaCenter;
};
