#include "lookupbox.h"

#include <QAction>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "beep.h"
#include "keychar.h"
#include "lookuplist.h"
#include "lookuplistmodel.h"
#include "lookuppopup.h"
#include "store/apollotable.h"
#include "store/cp1251.h"
#include "store/fields.h"
#include "widgets/errorbox.h"

namespace emlo {

namespace {

bool isNumeric(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return true;
    default: return false;
    }
}

QString rightTrimmed(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

// A key as the box shows it when the list does not hold it: as it is stored,
// a number in plain digits (a settlement code is no "1.2101e+09").
QString keyText(const QVariant& key)
{
    if (key.isNull())
        return QString();
    if (isNumeric(key))
        return QString::number(key.toDouble(), 'f', QLocale::FloatingPointShortest);
    return rightTrimmed(key.toString());
}

QIcon dropDownIcon(const QWidget* widget)
{
    const int side = 16;
    QPixmap pixmap(side * 2, side * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QStyleOption option;
    option.initFrom(widget);
    option.rect = QRect(3, 4, side - 6, side - 8);
    widget->style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &option, &painter, widget);
    return QIcon(pixmap);
}

}  // namespace

bool KeysEqual(const QVariant& a, const QVariant& b)
{
    // An empty character field holds blanks, never null: both mean "no key".
    const auto none = [](const QVariant& v) {
        return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty());
    };
    if (none(a) || none(b))
        return none(a) && none(b);
    if (isNumeric(a) && isNumeric(b))
        return a.toDouble() == b.toDouble();
    return rightTrimmed(a.toString()) == rightTrimmed(b.toString());
}

LookupBox::LookupBox(QWidget* parent) : QLineEdit(parent)
{
    // The text is the chosen entry's, never typed into: keys go to the search.
    setReadOnly(true);
    setCursor(Qt::ArrowCursor);
    QAction* arrow = addAction(dropDownIcon(this), QLineEdit::TrailingPosition);
    arrow->setObjectName(QStringLiteral("dropDownAction"));
    connect(arrow, &QAction::triggered, this, [this] {
        setFocus();
        if (ListVisible())
            CloseUp();
        else
            DropDown();
    });
}

LookupBox::~LookupBox() = default;

void LookupBox::setListSource(TDataSource* source)
{
    m_list = LookupList::ForSource(source);
    connect(m_list.get(), &LookupList::contentChanged, this, [this] { showKeyText(); });
    if (!m_listFields.isEmpty())
        setListFields(m_listFields);
}

void LookupBox::setListFields(const QStringList& names)
{
    m_listFields = names;
    if (m_displayField.isEmpty() && !names.isEmpty())
        m_displayField = names.first();
    if (!m_list)
        return;
    delete m_popup;
    m_popup = nullptr;
    delete m_model;
    m_model = new LookupListModel(m_list, m_listFields, this);
}

void LookupBox::ensurePopup()
{
    if (m_popup || !m_model)
        return;
    m_popup = new LookupPopup(this);
    m_popup->setFont(font());  // a window of its own does not inherit the box's font
    m_popup->setModel(m_model);
    connect(m_popup, &LookupPopup::rowChosen, this, [this](int row) {
        CloseUp();
        clearSearch();
        guarded([&] { ChooseRow(row); });
    });
    connect(m_popup, &LookupPopup::keyForwarded, this, [this](QKeyEvent* event) { keyPressEvent(event); });
    // Sent, not called: the grid's cell editor filter must see the Tab to move on.
    connect(m_popup, &LookupPopup::tabForwarded, this, [this](int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent tab(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(this, &tab);
    });
}

QVariant LookupBox::rowKey(int row) const
{
    if (!m_list)
        return {};
    const TApolloTable* table = m_list->Table();
    const TField* field = table ? table->FindField(m_keyField) : nullptr;
    const qint32 recNo = m_list->RecNoAt(row);
    if (!field || recNo <= 0)
        return {};
    QVariant value = table->FieldValueAt(recNo, field);
    if (value.typeId() == QMetaType::QString)
        value = rightTrimmed(value.toString());
    return value;
}

int LookupBox::KeyRow() const
{
    return m_list ? m_list->FindKey(m_keyField, m_keyValue) : -1;
}

void LookupBox::positionList()
{
    const int row = KeyRow();
    if (row >= 0)
        m_list->MoveTo(row);
}

bool LookupBox::applyKey(const QVariant& key, bool userChoice)
{
    const int row = m_list ? m_list->FindKey(m_keyField, key) : -1;
    const QVariant normalised = row >= 0 ? rowKey(row) : key;
    const bool changed = !KeysEqual(normalised, m_keyValue);
    if (changed || userChoice) {
        m_keyValue = normalised;
        if (row >= 0)
            m_list->MoveTo(row);
    }
    if (changed && OnKeyValueChanged)
        OnKeyValueChanged(*this);
    return changed;
}

void LookupBox::setKeyValue(const QVariant& key)
{
    m_search.clear();
    applyKey(key, false);
    showKeyText();
}

void LookupBox::showKeyText()
{
    const int row = KeyRow();
    QString text;
    if (row >= 0)
        text = m_list->Text(row, m_displayField);
    else if (m_displayField.compare(m_keyField, Qt::CaseInsensitive) == 0)
        text = keyText(m_keyValue);
    setText(text);
    if (!m_search.isEmpty() && text.startsWith(m_search, Qt::CaseInsensitive))
        setSelection(int(text.size()), -int(text.size() - m_search.size()));
    else
        setCursorPosition(0);
    if (m_popup && m_popup->isVisible())
        m_popup->setCurrentRow(row);
}

bool LookupBox::ChooseRow(int row)
{
    if (!m_list || row < 0 || row >= m_list->Count())
        return false;
    const QVariant key = rowKey(row);
    // Starting the edit may show the record afresh, which clears the search.
    const QString search = m_search;
    if (!beginChoice())
        return false;
    m_search = search;
    applyKey(key, true);
    showKeyText();
    emit choiceMade();
    return true;
}

bool LookupBox::ChooseNext()
{
    if (!m_list || m_list->Count() == 0)
        return false;
    const int row = KeyRow();
    m_search.clear();
    return ChooseRow(row < 0 ? 0 : qMin(row + 1, m_list->Count() - 1));
}

bool LookupBox::ChoosePrior()
{
    if (!m_list || m_list->Count() == 0)
        return false;
    const int row = KeyRow();
    m_search.clear();
    return ChooseRow(row <= 0 ? 0 : row - 1);
}

void LookupBox::TypeChar(QChar typed)
{
    const QChar ch = TypedApostrophe(typed);
    if (!isCp1251Char(ch)) {
        RefuseCharacter(this, ch);
        return;
    }
    if (m_dropDownOnType && !ListVisible())
        DropDown();
    if (!m_list)
        return;
    const QString search = m_search + ch;
    const int row = m_list->FindPrefix(m_displayField, search);
    if (row < 0) {
        // No entry begins so: the choice stays, and the user hears why nothing changed.
        Beep();
        return;
    }
    m_search = search;
    if (!ChooseRow(row))
        m_search.chop(1);
}

void LookupBox::backspace()
{
    if (m_search.isEmpty())
        return;
    m_search.chop(1);
    if (m_search.isEmpty()) {
        showKeyText();
        return;
    }
    const int row = m_list->FindPrefix(m_displayField, m_search);
    if (row >= 0)
        ChooseRow(row);
}

void LookupBox::DropDown()
{
    ensurePopup();
    if (!m_popup || m_popup->isVisible())
        return;
    m_popup->ShowBelow(this);
    m_popup->setCurrentRow(KeyRow());
}

void LookupBox::CloseUp()
{
    if (m_popup && m_popup->isVisible())
        m_popup->hide();
}

bool LookupBox::ListVisible() const
{
    return m_popup && m_popup->isVisible();
}

void LookupBox::guarded(const std::function<void()>& action)
{
    // A choice runs the owner's handlers and moves the list's table: show
    // what they throw rather than let it pass through the toolkit.
    try {
        action();
    } catch (const std::exception& error) {
        showException(error);
    }
}

void LookupBox::keyPressEvent(QKeyEvent* event)
{
    guarded([&] { handleKey(event); });
}

void LookupBox::handleKey(QKeyEvent* event)
{
    const int key = event->key();
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (key == Qt::Key_F4 || (alt && (key == Qt::Key_Down || key == Qt::Key_Up))) {
        if (ListVisible())
            CloseUp();
        else
            DropDown();
        return;
    }
    if (key == Qt::Key_Down && !ListVisible()) {
        ChooseNext();
        return;
    }
    if (key == Qt::Key_Up && !ListVisible()) {
        ChoosePrior();
        return;
    }
    const std::optional<QChar> typed = TypedChar(event);
    if (typed && IsPrintable(*typed)) {
        TypeChar(*typed);
        return;
    }
    if (typed && *typed == QChar(8)) {
        backspace();
        return;
    }
    if (typed && *typed == QChar(27) && ListVisible()) {
        CloseUp();
        return;
    }
    // Copy and selection keys work as in any read-only box; Escape and the
    // rest go to the owner.
    QLineEdit::keyPressEvent(event);
}

void LookupBox::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason || ListVisible())
        return;  // the focus went into our own list
    m_search.clear();
}

}  // namespace emlo
