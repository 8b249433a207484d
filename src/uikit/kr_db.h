#pragma once
// The data binding every data-aware control of the kit carries. Nothing in
// this program binds a control to data, so the link mostly sits idle; it is
// kept working so a control can be bound without changing the control.
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>

// What the link needs from a source of records.
class TDataSource
{
public:
    enum State { dsInactive, dsBrowse, dsEdit, dsInsert };

    virtual ~TDataSource() = default;
    virtual State DataSetState() const = 0;
    virtual bool HasField(const QString &name) const = 0;
    // Throws when the value cannot be read.
    virtual QVariant FieldValue(const QString &name) const = 0;
    // Throws when the value cannot be stored in the field.
    virtual void SetFieldValue(const QString &name, const QVariant &value) = 0;
    virtual void ClearField(const QString &name) = 0;
    virtual void Edit() = 0;
    virtual void Post() = 0;
};

class TKRFieldDataLink
{
public:
    using ChangeCallback = std::function<void()>;

    // control: the bound control (the link is inactive without one);
    // onDataChange runs after a new field value has been read.
    TKRFieldDataLink(QWidget *control, ChangeCallback onDataChange);
    ~TKRFieldDataLink();
    TKRFieldDataLink(const TKRFieldDataLink &) = delete;
    TKRFieldDataLink &operator=(const TKRFieldDataLink &) = delete;

    TDataSource *GetDataSource() const;
    // A null source detaches the link.
    void SetDataSource(TDataSource *source);
    QString GetDataField() const;
    void SetDataField(const QString &field);
    bool IsActive() const;
    bool Active() const { return IsActive(); }

    QVariant Value() const { return m_value; }
    // Stores value (when active) and writes it to the field.
    void SetValue(const QVariant &value);
    // The source reports that the field's value changed.
    void DataChange();
    void UpdateData();

    bool UpdatingAllowed() const { return m_updatingAllowed; }
    void SetUpdatingAllowed(bool value) { m_updatingAllowed = value; }

private:
    TDataSource *m_source = nullptr;
    QString m_field;
    QVariant m_value;
    QPointer<QWidget> m_control;
    ChangeCallback m_onDataChange;
    bool m_updatingAllowed = true;
};
