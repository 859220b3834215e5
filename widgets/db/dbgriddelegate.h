#pragma once

#include <QLineEdit>
#include <QStyledItemDelegate>

#include "cp1251validator.h"
#include "datasetmodel.h"
#include "dbgrid.h"
#include "lookupbox.h"
#include "store/errors.h"
#include "store/fields.h"
#include "widgets/errorbox.h"

namespace emlo {

// The cell editor's text margins (2 pixels a side), its cursor and the
// grid line, around its text and button.
constexpr int kEditorMargins = 6;

// A look-up cell's editor: the key is the record's key field (CONTID), the
// box shows the column's field of the chosen entry.
class LookupCellEditor : public LookupBox {
public:
    using LookupBox::LookupBox;
    bool chosen = false;

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        LookupBox::focusInEvent(event);
        // The view selects the whole text with the cursor at its end, which
        // scrolls a text wider than the cell so that its start is hidden.
        if (SearchText().isEmpty() && hasSelectedText() && selectedText() == text())
            setSelection(int(text().size()), -int(text().size()));
    }
};

class DbGridDelegate : public QStyledItemDelegate {
public:
    explicit DbGridDelegate(DbGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) { }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (!m_grid->BeginEdit())
            return nullptr;
        const TField* field = m_grid->m_model->ColumnField(index.column());
        if (field && field->FieldKind() == fkLookup && m_grid->m_lookupSource) {
            auto* box = new LookupCellEditor(parent);
            box->setObjectName(QStringLiteral("lookupCellEditor"));
            box->setFrame(false);
            box->setListSource(m_grid->m_lookupSource);
            box->setKeyField(field->LookupKeyFields());
            box->setDisplayField(field->LookupResultField());
            box->setListFields({QStringLiteral("CODE"), QStringLiteral("DESCR")});
            box->setDropDownOnType(true);
            QObject::connect(box, &LookupBox::choiceMade, box, [box] { box->chosen = true; });
            m_grid->m_editor = box;
            m_grid->m_editorIndex = index;
            return box;
        }
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        m_grid->m_editor = editor;
        m_grid->m_editorIndex = index;
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setValidator(new Cp1251Validator(line));
            if (field && field->DataType() == ftString && field->Size() > 0)
                line->setMaxLength(field->Size());
        }
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* box = dynamic_cast<LookupCellEditor*>(editor)) {
            box->setKeyValue(index.data(Qt::EditRole));
            box->chosen = false;
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        // The field may refuse the value by throwing: catch it here, before
        // it could pass through the toolkit's frames, and keep the editor.
        try {
            TakeValue(editor, model, index);
        } catch (const std::exception& error) {
            m_grid->m_refused = true;
            showException(error);
        }
    }

    // Puts the editor's value into the record; errors of the field pass on.
    static void TakeValue(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index)
    {
        if (auto* box = dynamic_cast<LookupCellEditor*>(editor)) {
            if (box->chosen)
                model->setData(index, box->KeyValue(), Qt::EditRole);
            return;
        }
        QVariant value;
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            if (line->text() == index.data(Qt::EditRole).toString())
                return;  // nothing was changed: the record is not touched
            value = line->text();
        } else {
            value = editor->property(editor->metaObject()->userProperty().name());
        }
        model->setData(index, value, Qt::EditRole);
    }

    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideRight;
        if (!m_grid->OnGetCellParams)
            return;
        CellParams params;
        params.FieldName = index.data(DataSetModel::FieldNameRole).toString();
        params.Font = option->font;
        const int row = index.row();
        const DataSetModel* model = m_grid->m_model;
        params.Value = [model, row](const QString& name) { return model->ValueAt(row, name); };
        m_grid->OnGetCellParams(*m_grid, params);
        option->font = params.Font;
        if (params.FontColor.isValid())
            option->palette.setColor(QPalette::Text, params.FontColor);
    }

private:
    DbGrid* m_grid;
};

}  // namespace emlo
