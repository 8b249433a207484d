#include "uikit/kr_db.h"

#include "base/kr_trace.h"

#include <exception>

void TKRFieldDataLink::DataChange()
{
    TracePoint("TKRFieldDataLink.DataChange", "KRDB41");
    if (!IsActive())
        return;
    m_value = m_source->FieldValue(m_field);
    if (m_onDataChange)
        m_onDataChange();
}

void TKRFieldDataLink::UpdateData()
{
    TracePoint("TKRFieldDataLink.UpdateData", "KRDB55");
    if (!m_source)
        return;
    m_updatingAllowed = false;
    // The flag must come back even when the dataset refuses the edit.
    struct Restore {
        bool &flag;
        ~Restore() { flag = true; }
    } restore{m_updatingAllowed};
    const TDataSource::State state = m_source->DataSetState();
    const bool startedEdit = state != TDataSource::dsEdit && state != TDataSource::dsInsert;
    if (startedEdit)
        m_source->Edit();
    try {
        m_source->SetFieldValue(m_field, m_value);
    } catch (const std::exception &) {
        m_source->ClearField(m_field);
    }
    if (startedEdit)
        m_source->Post();
}

void TKRFieldDataLink::SetDataField(const QString &field)
{
    TracePoint("TKRFieldDataLink.SetDataField", "KRDB76");
    m_field = field;
}

QString TKRFieldDataLink::GetDataField() const
{
    TracePoint("TKRFieldDataLink.GetDataField: string", "KRDB82");
    return m_field;
}

void TKRFieldDataLink::SetDataSource(TDataSource *source)
{
    TracePoint("TKRFieldDataLink.SetDataSource", "KRDB88");
    m_source = source;
}

TDataSource *TKRFieldDataLink::GetDataSource() const
{
    TracePoint("TKRFieldDataLink.GetDataSource: TDataSource", "KRDB101");
    return m_source;
}

void TKRFieldDataLink::SetValue(const QVariant &value)
{
    TracePoint("TKRFieldDataLink.SetValue", "KRDB111");
    if (!IsActive())
        return;
    m_value = value;
    UpdateData();
}

bool TKRFieldDataLink::IsActive() const
{
    TracePoint("TKRFieldDataLink.IsActive : Boolean", "KRDB121");
    return m_source && m_source->DataSetState() != TDataSource::dsInactive && m_source->HasField(m_field)
           && m_control && m_updatingAllowed;
}

TKRFieldDataLink::TKRFieldDataLink(QWidget *control, ChangeCallback onDataChange)
    : m_control(control)
    , m_onDataChange(std::move(onDataChange))
{
    TracePoint("TKRFieldDataLink.Create", "KRDB135");
}

TKRFieldDataLink::~TKRFieldDataLink()
{
    TracePoint("TKRFieldDataLink.Destroy", "KRDB145");
}
