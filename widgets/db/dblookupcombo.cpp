#include "dblookupcombo.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include "keychar.h"
#include "store/apollotable.h"
#include "store/errors.h"
#include "store/fields.h"
#include "widgets/errorbox.h"

namespace emlo {

DbLookupCombo::DbLookupCombo(QWidget* parent) : LookupBox(parent)
{
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] { Commit(); };
    connect(this, &LookupBox::choiceMade, this, [this] { m_modified = true; });
}

DbLookupCombo::~DbLookupCombo()
{
    m_link.onDataChange = nullptr;
    m_link.onUpdateData = nullptr;
}

void DbLookupCombo::setDataSource(TDataSource* source)
{
    m_link.setDataSource(source);
    showField();
}

void DbLookupCombo::setDataField(const QString& name)
{
    m_link.setFieldName(name);
    showField();
}

void DbLookupCombo::showField()
{
    if (m_committing)
        return;
    const TField* field = Field();
    m_modified = false;
    clearSearch();
    setKeyValue(field && !field->IsNull() ? field->AsVariant() : QVariant());
}

bool DbLookupCombo::beginChoice()
{
    if (!m_link.CanModify())
        return false;
    try {
        return m_link.Edit();
    } catch (const std::exception& error) {
        showException(error);
        return false;
    }
}

void DbLookupCombo::Commit()
{
    if (!m_modified || m_committing)
        return;
    TField* field = Field();
    if (!field)
        return;
    m_committing = true;
    m_modified = false;
    try {
        // The handlers read the chosen entry as the list's current one.
        positionList();
        bool handled = false;
        if (OnUpdateData)
            OnUpdateData(*this, handled);
        if (!handled) {
            if (KeyValue().isNull())
                field->Clear();
            else
                field->setAsVariant(KeyValue());
        }
    } catch (...) {
        m_committing = false;
        m_modified = true;
        throw;
    }
    m_committing = false;
}

void DbLookupCombo::Reset()
{
    showField();
}

void DbLookupCombo::keyPressEvent(QKeyEvent* event)
{
    const std::optional<QChar> typed = TypedChar(event);
    if (typed && *typed == QChar(27) && !ListVisible()) {
        guarded([this] { Reset(); });
        return;
    }
    if (typed && *typed == QChar(13) && !ListVisible()) {
        // Enter takes the choice without leaving the box.
        guarded([this] { Commit(); });
        if (!m_modified)
            showField();
        return;
    }
    LookupBox::keyPressEvent(event);
}

void DbLookupCombo::focusOutEvent(QFocusEvent* event)
{
    LookupBox::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason || ListVisible())
        return;
    try {
        Commit();
    } catch (const std::exception& error) {
        showException(error);
    }
    if (!m_modified)
        showField();
}

}  // namespace emlo
