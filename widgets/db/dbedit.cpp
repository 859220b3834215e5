#include "dbedit.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include "beep.h"
#include "cp1251validator.h"
#include "keychar.h"
#include "store/apollotable.h"
#include "store/cp1251.h"
#include "store/errors.h"
#include "store/fields.h"
#include "widgets/errorbox.h"

namespace emlo {

DbEdit::DbEdit(QWidget* parent) : QLineEdit(parent)
{
    setValidator(new Cp1251Validator(this));
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] { Commit(); };
    connect(this, &QLineEdit::textEdited, this, [this] { userEdited(); });
}

DbEdit::~DbEdit()
{
    m_link.onDataChange = nullptr;
    m_link.onUpdateData = nullptr;
}

void DbEdit::setDataSource(TDataSource* source)
{
    m_link.setDataSource(source);
    showField();
}

void DbEdit::setDataField(const QString& name)
{
    m_link.setFieldName(name);
    showField();
}

void DbEdit::setEditMask(const QString& editMask)
{
    m_loading = true;
    setInputMask(QtInputMask(editMask));
    m_loading = false;
    showField();
}

void DbEdit::setReadOnlyBox(bool readOnly)
{
    setReadOnly(readOnly);
    QPalette colours = palette();
    colours.setColor(QPalette::Base,
                     readOnly ? colours.color(QPalette::ToolTipBase) : QPalette().color(QPalette::Base));
    colours.setColor(QPalette::Text,
                     readOnly ? colours.color(QPalette::ToolTipText) : QPalette().color(QPalette::Text));
    setPalette(colours);
}

void DbEdit::showField()
{
    if (m_committing || m_keepText)
        return;
    const TField* field = Field();
    QString text;
    if (field)
        text = (hasFocus() && m_link.Editing()) ? field->Text() : field->DisplayText();
    if (field && field->DataType() == ftString && inputMask().isEmpty())
        setMaxLength(field->Size() > 0 ? field->Size() : 32767);
    m_loading = true;
    setText(text);
    if (!hasFocus())
        setCursorPosition(0);  // a long text is seen from its beginning
    m_loading = false;
    m_modified = false;
}

bool DbEdit::startEditing()
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

void DbEdit::userEdited()
{
    if (m_loading || m_modified)
        return;
    if (!m_link.Editing()) {
        // Starting the edit reads the record afresh; the box keeps what the
        // user has just typed instead of showing the record again.
        m_keepText = true;
        const bool editing = startEditing();
        m_keepText = false;
        if (!editing) {
            // Not from inside the box's own change notification: later.
            QMetaObject::invokeMethod(
                this, [this] { showField(); }, Qt::QueuedConnection);
            Beep();
            return;
        }
    }
    m_modified = true;
}

QString DbEdit::textForField() const
{
    // With a mask, text() already leaves out the unfilled positions.
    return text();
}

void DbEdit::Commit()
{
    if (!m_modified || m_committing)
        return;
    TField* field = Field();
    if (!field)
        return;
    m_committing = true;
    m_modified = false;
    try {
        bool handled = false;
        if (OnUpdateData)
            OnUpdateData(*this, handled);
        if (!handled)
            field->setAsString(textForField());
    } catch (...) {
        m_committing = false;
        m_modified = true;
        throw;
    }
    m_committing = false;
}

void DbEdit::Reset()
{
    showField();
    selectAll();
}

void DbEdit::keyPressEvent(QKeyEvent* event)
{
    const std::optional<QChar> typed = TypedChar(event);
    if (typed) {
        QChar key = TypedApostrophe(*typed);
        if (OnKeyPress)
            OnKeyPress(*this, key);
        if (key.isNull()) {
            event->accept();
            return;
        }
        if (IsPrintable(key) && !isCp1251Char(key)) {
            RefuseCharacter(this, key);
            event->accept();
            return;
        }
        if (key == QChar(27)) {
            Reset();
            event->accept();
            return;
        }
        if (key == QChar(13)) {
            // Enter takes the box's change without leaving the box.
            try {
                Commit();
            } catch (const std::exception& error) {
                showException(error);
            }
            if (!m_modified)
                showField();
            selectAll();
            event->accept();
            return;
        }
        if (key != *typed && IsPrintable(key)) {
            // The handler typed another character in place of this one.
            if (!isReadOnly())
                insert(QString(key));
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void DbEdit::placeMaskCursor()
{
    // In a masked box a cursor behind the entered digits would take no
    // more: put it right after them.
    if (!inputMask().isEmpty() && !hasSelectedText() && cursorPosition() > text().size())
        setCursorPosition(int(text().size()));
}

void DbEdit::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    placeMaskCursor();
}

void DbEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    placeMaskCursor();
    // Numbers are edited in their plain form, shown in their display form.
    if (!m_modified && m_link.Editing())
        showField();
    // Entered by Tab or Shift+Tab, the whole content is selected, so that
    // what is typed next replaces it (placeholders of a mask included).
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        selectAll();
}

void DbEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    try {
        Commit();
    } catch (const std::exception& error) {
        showException(error);
    }
    if (!m_modified)
        showField();
}

}  // namespace emlo
