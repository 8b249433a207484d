#pragma once
// A combo box whose entries carry values apart from their texts (Values[i] is
// the value of item i), with the kit's data binding.
#include "uikit/kr_db.h"

#include <QComboBox>
#include <QStringList>

#include <memory>

class TKRComboRadioBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TKRComboRadioBox(QWidget *parent = nullptr);
    ~TKRComboRadioBox() override;

    const QStringList &Values() const { return m_values; }
    void SetValues(const QStringList &values);
    TKRFieldDataLink &DataLink() const { return *m_dataLink; }

    // The bound field changed: show its value.
    void ChangeData();

protected:
    // Leaving the control writes the selection back to the bound field.
    void focusOutEvent(QFocusEvent *event) override;

private:
    void CMExit();

    QStringList m_values;
    std::unique_ptr<TKRFieldDataLink> m_dataLink;
};
