#include "codespage.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "entry/coderules.h"
#include "pagefont.h"
#include "tabwrap.h"
#include "store/datamodule.h"
#include "widgets/db/dbedit.h"
#include "widgets/db/dblookupcombo.h"

namespace emlo {

namespace {
constexpr int kLeft = 10;
constexpr int kRight = 340;
constexpr int kWide = 300;
constexpr int kNarrow = 110;
constexpr int kRowPitch = 43;
constexpr int kLabelHeight = 15;
}  // namespace

CodesPage::CodesPage(TDataModule& dm, QGroupBox* gbCode) : QWidget(gbCode), m_dm(dm)
{
    setObjectName(QStringLiteral("codesPage"));
    UsePageFont(*this);
    auto* layout = new QVBoxLayout(gbCode);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(this);

    const char* const labels[][2] = {
        {"lblOblDescr", "Назва області"},
        {"lblRegDescr", "Назва району"},
        {"lblCityDescr", "Назва населеного пункту"},
        {"lblSpoduDescr", "Вiдомча пiдпорядкованiсть"},
        {"lblKvedDescr", "Назва виду экономической деятельности"},
        {"lblKfvDescr", "Форма власності"},
    };
    for (int row = 0; row < 6; ++row) {
        auto* label = new QLabel(QString::fromUtf8(labels[row][1]), this);
        label->setObjectName(QString::fromLatin1(labels[row][0]));
        label->move(kLeft, 2 + row * kRowPitch);
        label->adjustSize();
    }
    auto top = [](int row) { return 2 + row * kRowPitch + kLabelHeight + 1; };

    cbOblDescr = lookupBox("cbOblDescr", "OBL_DESCR", kLeft, top(0), kWide);
    edOBLID = readOnlyBox("edOBLID", "OBL_ID", kRight, top(0), kNarrow);
    edtRegDescr = readOnlyBox("edtRegDescr", "REGN_DESCR", kLeft, top(1), kWide);
    edREGNID = readOnlyBox("edREGNID", "REGN_ID", kRight, top(1), kNarrow);
    cbCityDescr = lookupBox("cbCityDescr", "CITY_DESCR", kLeft, top(2), kWide);
    cbCityID = lookupBox("cbCityID", "CITY_ID", kRight, top(2), kNarrow);
    edtSpoduDescr = readOnlyBox("edtSpoduDescr", "SPODU_D", kLeft, top(3), kWide);
    cbSpoduID = lookupBox("cbSpoduID", "SPODU_ID", kRight, top(3), kNarrow);
    edtKvedDescr = readOnlyBox("edtKvedDescr", "KVED_DESCR", kLeft, top(4), kWide);
    cbKvedID = lookupBox("cbKvedID", "KVED_ID", kRight, top(4), kNarrow);
    edtKfvDescr = readOnlyBox("edtKfvDescr", "KFV_DESCR", kLeft, top(5), kWide);
    cbKfvID = lookupBox("cbKfvID", "KFV_ID", kRight, top(5), kNarrow);

    struct List {
        DbLookupCombo* box;
        TDataSource* source;
        const char* key;
        QStringList columns;
        const char* shown;
        bool dropDownOnType;
    };
    const QString code = QStringLiteral("CODE");
    const QString descr = QStringLiteral("DESCR");
    const List lists[] = {
        {cbOblDescr, dm.dsOBL, "DESCR", {descr}, "DESCR", false},
        {cbCityDescr, dm.dsCY, "DESCR", {code, descr}, "DESCR", false},
        {cbCityID, dm.dsCY, "CODE", {code, descr}, "CODE", false},
        {cbSpoduID, dm.dsDP, "CODE", {code, descr}, "CODE", true},
        {cbKvedID, dm.dsEA, "CODE", {code, descr}, "CODE", true},
        {cbKfvID, dm.dsOW, "CODE", {code, descr}, "CODE", true},
    };
    for (const List& list : lists) {
        list.box->setListSource(list.source);
        list.box->setKeyField(QString::fromLatin1(list.key));
        list.box->setDisplayField(QString::fromLatin1(list.shown));
        list.box->setListFields(list.columns);
        list.box->setDropDownOnType(list.dropDownOnType);
        list.box->setDataSource(m_dm.dsAttr);
    }

    cbSpoduID->OnKeyValueChanged = [this](LookupBox& sender) { cbSpoduIDKeyValueChanged(sender); };
    cbKvedID->OnKeyValueChanged = [this](LookupBox& sender) { cbKvedIDKeyValueChanged(sender); };
    cbKfvID->OnKeyValueChanged = [this](LookupBox& sender) { cbKfvIDKeyValueChanged(sender); };
    for (DbLookupCombo* box : {cbCityID, cbCityDescr})
        box->OnUpdateData = [this](DbLookupCombo& sender, bool& handled) { cbCityUpdateData(sender, handled); };
    cbOblDescr->OnUpdateData = [this](DbLookupCombo& sender, bool& handled) { cbOblDescrUpdateData(sender, handled); };

    const QList<QWidget*> order{edtRegDescr, cbCityDescr, edtSpoduDescr, edtKvedDescr, edtKfvDescr, edOBLID,
                                edREGNID,    cbCityID,    cbSpoduID,     cbKvedID,     cbKfvID,     cbOblDescr};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

DbEdit* CodesPage::readOnlyBox(const char* name, const char* field, int left, int top, int width)
{
    auto* box = new DbEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(left, top, width, box->sizeHint().height());
    box->setReadOnlyBox(true);
    box->setDataField(QString::fromLatin1(field));
    box->setDataSource(m_dm.dsAttr);
    return box;
}

DbLookupCombo* CodesPage::lookupBox(const char* name, const char* field, int left, int top, int width)
{
    auto* box = new DbLookupCombo(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(left, top, width, box->sizeHint().height());
    box->setDataField(QString::fromLatin1(field));
    return box;
}

void CodesPage::cbSpoduIDKeyValueChanged(LookupBox& sender)
{
    // A key with no entry in the list has no name to copy: the list's
    // current entry belongs to another code.
    if (sender.KeyRow() >= 0)
        CopyListName(*m_dm.tblAttr, *m_dm.tblDP, QStringLiteral("SPODU_D"));
}

void CodesPage::cbKvedIDKeyValueChanged(LookupBox& sender)
{
    // A key with no entry in the list has no name to copy: the list's
    // current entry belongs to another code.
    if (sender.KeyRow() >= 0)
        CopyListName(*m_dm.tblAttr, *m_dm.tblEA, QStringLiteral("KVED_DESCR"));
}

void CodesPage::cbKfvIDKeyValueChanged(LookupBox& sender)
{
    // A key with no entry in the list has no name to copy: the list's
    // current entry belongs to another code.
    if (sender.KeyRow() >= 0)
        CopyListName(*m_dm.tblAttr, *m_dm.tblOW, QStringLiteral("KFV_DESCR"));
}

void CodesPage::cbCityUpdateData(DbLookupCombo&, bool& Handled)
{
    Handled = false;
    CommitSettlement(*m_dm.tblAttr, *m_dm.tblCY);
}

void CodesPage::cbOblDescrUpdateData(DbLookupCombo&, bool& Handled)
{
    Handled = false;
    CommitRegion(*m_dm.tblAttr, *m_dm.tblOBL, *m_dm.tblCY);
}

bool CodesPage::focusNextPrevChild(bool next)
{
    return WrapTabOrder(edtRegDescr, cbOblDescr, next) || QWidget::focusNextPrevChild(next);
}

}  // namespace emlo
