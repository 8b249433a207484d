#include "uikit/kr_controls.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

// ---------------------------------------------------------------- TKRControl

TKRControl::TKRControl(QWidget *parent)
    : QWidget(parent)
{
    m_artistic.Control = this;
    // Hot tracking needs every move, not only those with a button held.
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TKRControl::SetTheme(TKRTheme *theme)
{
    m_theme = theme;
    update();
}

TColor TKRControl::Color() const
{
    if (m_parentColor && parentWidget()) {
        if (auto *control = qobject_cast<const TKRControl *>(parentWidget()))
            return control->Color();
        return ToColorRef(parentWidget()->palette().color(parentWidget()->backgroundRole()));
    }
    return m_color;
}

void TKRControl::SetColor(TColor color)
{
    m_color = color;
    m_parentColor = false;
    update();
}

void TKRControl::SetParentColor(bool value)
{
    m_parentColor = value;
    update();
}

void TKRControl::SetUseFontColor(bool value)
{
    m_useFontColor = value;
    update();
}

QColor TKRControl::FontColor() const
{
    return palette().color(QPalette::WindowText);
}

void TKRControl::SetFontColor(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

bool TKRControl::NoTheme() const
{
    return !m_theme || m_theme->ThemeColors() == tcNoTheme;
}

int TKRControl::PaintState() const
{
    if (!isEnabled())
        return psDisabled;
    if (m_static)
        return psNormal;
    if (m_pressed)
        return psPressed;
    if (m_hot)
        return psHot;
    if (hasFocus())
        return psFocused;
    return psNormal;
}

int TKRControl::ThemeBorderWidth() const
{
    return m_theme ? m_theme->BorderWidth() : 1;
}

void TKRControl::paintEvent(QPaintEvent *)
{
    if (m_painting)
        return;
    m_painting = true;
    if (m_theme)
        m_theme->PrepareArtistic(m_artistic);
    QPainter canvas(this);
    PaintBackground(canvas);
    PaintContent(canvas);
    m_painting = false;
}

void TKRControl::PaintBackground(QPainter &canvas)
{
    if (NoTheme()) {
        canvas.fillRect(rect(), FromColorRef(Color()));
        canvas.setPen(Qt::black);
        canvas.setBrush(Qt::NoBrush);
        canvas.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    if (m_static) {
        // Panels rest in their darker hot colours and light up under the mouse.
        m_artistic.PaintControlFace(canvas, m_hot ? psNormal : psStatic);
        return;
    }
    int state = psNormal;
    if (m_pressed)
        state = psPressed;
    else if (m_hot)
        state = psHot;
    else if (hasFocus())
        state = psFocused;
    if (m_theme->RoundedButtons())
        m_artistic.PaintRoundedFace(canvas, state, Color());
    else
        m_artistic.PaintControlFace(canvas, state);
}

void TKRControl::PaintContent(QPainter &canvas)
{
    canvas.setFont(font());
    QColor color = FontColor();
    if (m_theme && !m_useFontColor) {
        if (m_theme->ThemeColors() == tcNoTheme)
            color = Qt::black;
        else
            color = FromColorRef(m_theme->UseContrastFont() ? m_theme->ObjFontContrastColor : m_theme->ObjFontColor);
    }
    canvas.setPen(color);
}

bool TKRControl::event(QEvent *event)
{
    if (event->type() == CM_THEMECHANGE) {
        const bool handled = QWidget::event(event);
        update();
        return handled;
    }
    return QWidget::event(event);
}

void TKRControl::enterEvent(QEnterEvent *event)
{
    m_hot = true;
    m_mousePos = event->position().toPoint();
    update();
    QWidget::enterEvent(event);
}

void TKRControl::leaveEvent(QEvent *event)
{
    m_hot = false;
    m_mousePos = QPoint(-1, -1);
    update();
    QWidget::leaveEvent(event);
}

void TKRControl::mouseMoveEvent(QMouseEvent *event)
{
    m_mousePos = event->position().toPoint();
    // While a button is held the mouse stays grabbed and no leave arrives, so
    // a drag off the control has to drop the hot look here.
    const bool inside = rect().contains(m_mousePos);
    if (inside != m_hot) {
        m_hot = inside;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void TKRControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        if (!m_static && focusPolicy() & Qt::ClickFocus)
            setFocus(Qt::MouseFocusReason);
        m_pressed = true;
        update();
    }
    QWidget::mousePressEvent(event);
}

void TKRControl::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressed = false;
    update();
    QWidget::mouseReleaseEvent(event);
}

void TKRControl::focusInEvent(QFocusEvent *event)
{
    update();
    QWidget::focusInEvent(event);
}

void TKRControl::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}

void TKRControl::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::FontChange:
    case QEvent::PaletteChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

// ----------------------------------------------------------------- TKRButton

TKRButton::TKRButton(QWidget *parent)
    : TKRControl(parent)
{
    resize(75, 25);
    setFocusPolicy(Qt::StrongFocus);
}

void TKRButton::SetCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    if (m_shortcutId)
        releaseShortcut(m_shortcutId);
    m_shortcutId = 0;
    const QKeySequence accelerator = QKeySequence::mnemonic(caption);
    if (!accelerator.isEmpty())
        m_shortcutId = grabShortcut(accelerator);
    update();
}

void TKRButton::SetDefault(bool value)
{
    m_default = value;
    UpdateDialogKeyWatch();
    // The form re-evaluates which button answers Enter.
    if (QWidget *form = window(); form && form != this && testAttribute(Qt::WA_WState_Created))
        form->update();
}

void TKRButton::SetCancel(bool value)
{
    m_cancel = value;
    UpdateDialogKeyWatch();
}

void TKRButton::UpdateDialogKeyWatch()
{
    const bool watch = m_default || m_cancel;
    if (watch == m_watchingKeys)
        return;
    m_watchingKeys = watch;
    // Enter and Escape reach whichever control has the focus; a default or
    // cancel button has to see them on the way there.
    if (watch)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

void TKRButton::SetGlyphPos(TKRGlyphPos value)
{
    m_glyphPos = value;
    update();
}

void TKRButton::SetGlyph(const QImage &glyph)
{
    m_glyph = glyph;
    update();
}

void TKRButton::SetGlyphMask(int mask)
{
    m_glyphMask = mask & (geGray | geChecker | geDiagonal);
    update();
}

bool TKRButton::CanFocus() const
{
    return isEnabled() && isVisible() && (focusPolicy() & Qt::TabFocus);
}

void TKRButton::Click()
{
    QPointer<TKRButton> self(this);
    QPointer<QDialog> form;
    if (parentWidget()) {
        form = qobject_cast<QDialog *>(window());
        if (form)
            form->setResult(m_modalResult);
    }
    if (m_dropDownMenu) {
        m_dropDownMenu->setProperty("PopupComponent", QVariant::fromValue<QObject *>(this));
        m_dropDownMenu->popup(mapToGlobal(QPoint(0, 0)));
    }
    emit clicked();
    // A modal form closes as soon as its result is set, as a modal window
    // always has; the handler may still have changed or closed it.
    if (self && form && form->isVisible() && form->isModal() && form->result() != 0)
        form->done(form->result());
}

void TKRButton::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Click();
        return;
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            m_spaceDown = true;
        return;
    default:
        TKRControl::keyPressEvent(event);
    }
}

void TKRButton::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && m_spaceDown) {
        m_spaceDown = false;
        Click();
        return;
    }
    TKRControl::keyReleaseEvent(event);
}

void TKRButton::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = IsPressed() && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    TKRControl::mouseReleaseEvent(event);
    if (click)
        Click();
}

bool TKRButton::event(QEvent *event)
{
    if (event->type() == QEvent::Shortcut) {
        if (static_cast<QShortcutEvent *>(event)->shortcutId() == m_shortcutId && isEnabled()) {
            Click();
            return true;
        }
    }
    return TKRControl::event(event);
}

bool TKRButton::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !m_watchingKeys)
        return false;
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target || target->window() != window() || target == this || !CanFocus())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier)
        return false;
    if (key->key() == Qt::Key_Escape && m_cancel) {
        Click();
        return true;
    }
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    // A focused button answers Enter itself.
    if (enter && m_default && !qobject_cast<TKRButton *>(QApplication::focusWidget())) {
        Click();
        return true;
    }
    return false;
}

QString TKRButton::DisplayCaption() const
{
    QString shown;
    shown.reserve(m_caption.size());
    for (qsizetype i = 0; i < m_caption.size(); ++i) {
        if (m_caption.at(i) == QLatin1Char('&') && i + 1 < m_caption.size())
            ++i;
        else if (m_caption.at(i) == QLatin1Char('&'))
            continue;
        shown += m_caption.at(i);
    }
    return shown;
}

TKRButton::ContentLayout TKRButton::LayoutContent(QSize buttonSize, QSize textSize, QSize glyphSize,
                                                  TKRGlyphPos pos, int borderWidth, bool hasCaption, bool pressed)
{
    const int W = buttonSize.width(), H = buttonSize.height();
    const int tW = textSize.width(), tH = textSize.height();
    const int gW = glyphSize.width(), gH = glyphSize.height();
    const int x0 = (W - tW) / 2;
    const int y0 = (H - tH) / 2;
    ContentLayout out{QPoint(), QPoint(x0, y0)};
    if (!glyphSize.isEmpty()) {
        // Unit vector from the caption towards the glyph.
        QPoint away;
        switch (pos) {
        case gpLeft:
            out.glyph = QPoint(x0 - gW / 2, (H - gH) / 2);
            out.caption = QPoint(x0 + gW / 2 + 2, y0);
            away = QPoint(-1, 0);
            break;
        case gpRight:
            out.glyph = QPoint(x0 + tW - gW / 2, (H - gH) / 2);
            out.caption = QPoint(x0 - gW / 2 - 2, y0);
            away = QPoint(1, 0);
            break;
        case gpTop:
            out.glyph = QPoint((W - gW) / 2, y0 - (gH + 1) / 2);
            out.caption = QPoint(x0, y0 + gH / 2);
            away = QPoint(0, -1);
            break;
        case gpBottom:
            out.glyph = QPoint((W - gW) / 2, y0 + tH - gH / 2);
            out.caption = QPoint(x0, y0 - gH / 2);
            away = QPoint(0, 1);
            break;
        }
        if (hasCaption) {
            out.glyph += away * ((borderWidth + 1) / 2);
            out.caption -= away * (borderWidth / 2);
        }
    }
    if (pressed) {
        out.glyph += QPoint(1, 1);
        out.caption += QPoint(1, 1);
    }
    return out;
}

QImage TKRButton::PreparedGlyph(const QImage &glyph, int mask, int state)
{
    if (glyph.isNull())
        return glyph;
    QImage image = glyph.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = image.pixel(0, 0);
    if (state == psNormal || state == psDisabled) {
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (mask & geGray) {
                    const QRgb p = line[x];
                    const int grey = RoundHalfEven((qRed(p) + qGreen(p) + qBlue(p)) / 3.0);
                    line[x] = qRgba(grey, grey, grey, qAlpha(p));
                }
                if ((mask & geChecker) && (x % 2) == (y % 2))
                    line[x] = transparent;
                if ((mask & geDiagonal) && (x == y || x == y + 1))
                    line[x] = transparent;
            }
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == transparent)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return image;
}

void TKRButton::PaintContent(QPainter &canvas)
{
    TKRControl::PaintContent(canvas);
    if (!isEnabled())
        canvas.setPen(QColor(128, 128, 128));
    const QString text = DisplayCaption();
    const QFontMetrics metrics(canvas.font());
    const QSize textSize(metrics.horizontalAdvance(text), metrics.height());
    const ContentLayout where = LayoutContent(size(), textSize, m_glyph.size(), m_glyphPos, ThemeBorderWidth(),
                                              !text.isEmpty(), IsPressed());
    if (!m_glyph.isNull())
        canvas.drawImage(where.glyph, PreparedGlyph(m_glyph, m_glyphMask, PaintState()));
    canvas.setBackgroundMode(Qt::TransparentMode);
    canvas.drawText(where.caption + QPoint(0, metrics.ascent()), text);
}

// ------------------------------------------------------------------ TKRPanel

TKRPanel::TKRPanel(QWidget *parent)
    : TKRControl(parent)
{
    SetStatic(true);
    resize(100, 40);
    setFocusPolicy(Qt::NoFocus);
}

void TKRPanel::SetCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void TKRPanel::SetAlignHorz(TKRHorzAlign value)
{
    m_alignHorz = value;
    update();
}

void TKRPanel::SetAlignVert(TKRVertAlign value)
{
    m_alignVert = value;
    update();
}

void TKRPanel::PaintContent(QPainter &canvas)
{
    TKRControl::PaintContent(canvas);
    Artistic().DrawAlignedText(canvas, rect(), m_alignHorz, ThemeBorderWidth(), m_caption, m_alignVert);
}
