#include "datasource.h"

#include <algorithm>

namespace emlo {

TDataSource::TDataSource(const QString& name) : m_name(name) { }

TDataSource::~TDataSource()
{
    for (TDataLink* link : std::vector<TDataLink*>(m_links))
        link->m_dataSource = nullptr;
    if (m_dataSet)
        m_dataSet->unregisterDataSource(this);
}

void TDataSource::setDataSet(TApolloTable* dataSet)
{
    if (dataSet == m_dataSet)
        return;
    if (m_dataSet)
        m_dataSet->unregisterDataSource(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->registerDataSource(this);
    notify(Event::ActiveChange, nullptr);
}

void TDataSource::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    notify(Event::ActiveChange, nullptr);
}

TDataSetState TDataSource::State() const
{
    return m_dataSet ? m_dataSet->State() : dsInactive;
}

void TDataSource::Edit()
{
    if (m_autoEdit && m_dataSet && m_dataSet->State() == dsBrowse)
        m_dataSet->Edit();
}

void TDataSource::addLink(TDataLink* link)
{
    if (std::find(m_links.begin(), m_links.end(), link) == m_links.end())
        m_links.push_back(link);
}

void TDataSource::removeLink(TDataLink* link)
{
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
}

void TDataSource::notify(Event event, TField* field)
{
    if (!m_enabled && event != Event::ActiveChange)
        return;
    switch (event) {
    case Event::StateChange:
    case Event::ActiveChange:
        if (OnStateChange)
            OnStateChange(*this);
        break;
    case Event::RecordChange:
    case Event::DataSetChange:
        if (OnDataChange)
            OnDataChange(*this, nullptr);
        break;
    case Event::FieldChange:
        if (OnDataChange)
            OnDataChange(*this, field);
        break;
    case Event::UpdateRecord:
        if (OnUpdateData)
            OnUpdateData(*this);
        break;
    case Event::CheckBrowseMode: break;
    }
    // A link may unbind itself while it is told; tell the ones still bound.
    const std::vector<TDataLink*> links = m_links;
    for (TDataLink* link : links) {
        if (std::find(m_links.begin(), m_links.end(), link) != m_links.end())
            link->dispatch(event, field);
    }
}

// ---------------------------------------------------------------- TDataLink

TDataLink::TDataLink() = default;

TDataLink::~TDataLink()
{
    if (m_dataSource)
        m_dataSource->removeLink(this);
}

void TDataLink::setDataSource(TDataSource* source)
{
    if (source == m_dataSource)
        return;
    if (m_dataSource)
        m_dataSource->removeLink(this);
    m_dataSource = source;
    if (m_dataSource)
        m_dataSource->addLink(this);
    dispatch(TDataSource::Event::ActiveChange, nullptr);
}

TApolloTable* TDataLink::DataSet() const
{
    return m_dataSource ? m_dataSource->DataSet() : nullptr;
}

bool TDataLink::Active() const
{
    TApolloTable* table = DataSet();
    return m_dataSource && m_dataSource->Enabled() && table && table->Active();
}

bool TDataLink::Editing() const
{
    TApolloTable* table = DataSet();
    return Active() && (table->State() == dsEdit || table->State() == dsInsert);
}

bool TDataLink::Edit()
{
    if (!m_readOnly && m_dataSource && Active())
        m_dataSource->Edit();
    return Editing();
}

void TDataLink::dispatch(TDataSource::Event event, TField* field)
{
    using Event = TDataSource::Event;
    switch (event) {
    case Event::ActiveChange:
    case Event::StateChange: {
        const bool active = Active();
        const bool editing = Editing();
        if (active != m_wasActive) {
            m_wasActive = active;
            m_wasEditing = editing;
            ActiveChanged();
        } else if (editing != m_wasEditing) {
            m_wasEditing = editing;
            EditingChanged();
        }
        break;
    }
    case Event::RecordChange: RecordChanged(nullptr); break;
    case Event::FieldChange: RecordChanged(field); break;
    case Event::DataSetChange: DataSetChanged(); break;
    case Event::UpdateRecord:
        m_updating = true;
        try {
            UpdateData();
        } catch (...) {
            m_updating = false;
            throw;
        }
        m_updating = false;
        break;
    case Event::CheckBrowseMode: break;
    }
}

}  // namespace emlo
