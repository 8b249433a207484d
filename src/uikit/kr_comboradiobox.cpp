#include "uikit/kr_comboradiobox.h"

#include "base/kr_trace.h"

#include <QFocusEvent>

void TKRComboRadioBox::ChangeData()
{
    TracePoint("TKRComboRadioBox.ChangeData", "COMRADBOX36");
    // Showing the value must not echo it back into the field.
    m_dataLink->SetUpdatingAllowed(false);
    struct Restore {
        TKRFieldDataLink &link;
        ~Restore() { link.SetUpdatingAllowed(true); }
    } restore{*m_dataLink};
    const QVariant value = m_dataLink->Value();
    if (value.isNull() || !value.isValid()) {
        setCurrentIndex(-1);
    } else if (const qsizetype i = m_values.indexOf(value.toString()); i >= 0 && i < count()) {
        setCurrentIndex(int(i));
    } else if (isEditable()) {
        setEditText(value.toString());
    } else {
        setCurrentIndex(findText(value.toString(), Qt::MatchExactly));
    }
}

void TKRComboRadioBox::CMExit()
{
    TracePoint("TKRComboRadioBox.CMExit", "COMRADBOX64");
    if (!isEditable()) {
        const int i = currentIndex();
        m_dataLink->SetValue(i >= 0 && i < m_values.size() ? QVariant(m_values.at(i)) : QVariant());
    } else {
        m_dataLink->SetValue(currentText());
    }
}

void TKRComboRadioBox::SetValues(const QStringList &values)
{
    TracePoint("TKRComboRadioBox.SetValues", "COMRADBOX86");
    m_values = values;
}

TKRComboRadioBox::TKRComboRadioBox(QWidget *parent)
    : QComboBox(parent)
{
    TracePoint("TKRComboRadioBox.Create", "COMRADBOX95");
    m_dataLink = std::make_unique<TKRFieldDataLink>(this, [this] { ChangeData(); });
}

TKRComboRadioBox::~TKRComboRadioBox()
{
    TracePoint("TKRComboRadioBox.Destroy", "COMRADBOX106");
}

void TKRComboRadioBox::focusOutEvent(QFocusEvent *event)
{
    // The drop-down list taking the focus is not leaving the control.
    if (event->reason() != Qt::PopupFocusReason)
        CMExit();
    QComboBox::focusOutEvent(event);
}
