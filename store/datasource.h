#pragma once

// TDataSource connects a table to data-aware code; TDataLink is the base of
// every data-aware control or grid adapter: it hears the table's changes
// through the source and commits its pending change when asked (UpdateData).

#include <functional>
#include <vector>

#include "apollotable.h"

namespace emlo {

class TDataLink;

class TDataSource {
public:
    explicit TDataSource(const QString& name = QString());
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    QString Name() const { return m_name; }
    TApolloTable* DataSet() const { return m_dataSet; }
    void setDataSet(TApolloTable* dataSet);
    // Whether a change made through a bound control may put the table into
    // editing (TDataLink::Edit). Default true.
    bool AutoEdit() const { return m_autoEdit; }
    void setAutoEdit(bool on) { m_autoEdit = on; }
    // A disabled source passes no notifications to its links.
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on);
    TDataSetState State() const;  // the table's state; dsInactive without a table

    // Starts editing when AutoEdit allows and the table is browsed (an empty
    // table starts an insert).
    void Edit();

    // After every change of the table's state (opening and closing included).
    EventListeners<TDataSource&> OnStateChange;
    // After the record or one field (field != nullptr) changed.
    EventListeners<TDataSource&, TField*> OnDataChange;
    // When the table asks for pending control changes (before every Post).
    EventListeners<TDataSource&> OnUpdateData;

private:
    friend class TApolloTable;
    friend class TDataLink;

    enum class Event {
        StateChange,
        ActiveChange,
        RecordChange,
        FieldChange,
        DataSetChange,
        UpdateRecord,
        CheckBrowseMode
    };
    void notify(Event event, TField* field);
    void addLink(TDataLink* link);
    void removeLink(TDataLink* link);

    QString m_name;
    TApolloTable* m_dataSet = nullptr;
    bool m_autoEdit = true;
    bool m_enabled = true;
    std::vector<TDataLink*> m_links;
};

class TDataLink {
public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return m_dataSource; }
    void setDataSource(TDataSource* source);
    TApolloTable* DataSet() const;
    bool Active() const;   // the table is open
    bool Editing() const;  // the table is in edit or insert state
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool on) { m_readOnly = on; }
    // Starts editing through the source (honours AutoEdit and ReadOnly; an
    // empty table starts an insert). Returns whether the table is now editing.
    bool Edit();
    // True while UpdateData runs, so a control does not reload itself from
    // the record it is writing.
    bool Updating() const { return m_updating; }

protected:
    // The table was opened or closed.
    virtual void ActiveChanged() { }
    // The current record changed (field == nullptr) or one of its fields did.
    virtual void RecordChanged(TField* field) { (void)field; }
    // Records were moved, added, deleted, re-read or filtered: reload everything.
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    // The table entered or left edit/insert state.
    virtual void EditingChanged() { }
    // Commit the control's uncommitted change into the record now. Called at
    // every Post before the record is encoded, and before every move.
    virtual void UpdateData() { }

private:
    friend class TDataSource;
    void dispatch(TDataSource::Event event, TField* field);

    TDataSource* m_dataSource = nullptr;
    bool m_readOnly = false;
    bool m_updating = false;
    bool m_wasActive = false;
    bool m_wasEditing = false;
};

}  // namespace emlo
