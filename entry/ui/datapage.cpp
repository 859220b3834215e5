#include "datapage.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "entry/emissionrules.h"
#include "pagefont.h"
#include "store/datamodule.h"
#include "widgets/db/dbgrid.h"
#include "widgets/db/dbnavigator.h"

namespace emlo {

DataPage::DataPage(TDataModule& dm, QGroupBox* gbData) : QWidget(gbData), m_dm(dm)
{
    setObjectName(QStringLiteral("dataPage"));
    UsePageFont(*this);
    auto* outer = new QVBoxLayout(gbData);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(this);

    pnlDataNavig = new QFrame(this);
    pnlDataNavig->setObjectName(QStringLiteral("pnlDataNavig"));
    pnlDataNavig->setFrameShape(QFrame::NoFrame);
    pnlDataNavig->setFixedHeight(41);

    navigMove = new DbNavigator(pnlDataNavig);
    navigMove->setObjectName(QStringLiteral("navigMove"));
    navigMove->setButtons(
        {DbNavigator::First, DbNavigator::Prior, DbNavigator::Next, DbNavigator::Last, DbNavigator::Refresh},
        {QStringLiteral("Перша"), QStringLiteral("Попередня"), QStringLiteral("Слiдуюча"), QStringLiteral("Остання"),
         QStringLiteral("Обновити")});
    navigMove->setGeometry(12, 8, 130, 25);

    navigEdit = new DbNavigator(pnlDataNavig);
    navigEdit->setObjectName(QStringLiteral("navigEdit"));
    navigEdit->setButtons(
        {DbNavigator::Insert, DbNavigator::Delete, DbNavigator::Edit, DbNavigator::Post, DbNavigator::Cancel},
        {QStringLiteral("Вставити"), QStringLiteral("Удалити"), QStringLiteral("Редагувати"),
         QStringLiteral("Зберегти"), QStringLiteral("Вiдмiнити")});
    // In one row: each 10 pixels to the right of the one before.
    navigEdit->setGeometry(navigMove->x() + navigMove->width() + 10, 8, 130, 25);

    lblDataState = new QLabel(pnlDataNavig);
    lblDataState->setObjectName(QStringLiteral("lblDataState"));
    lblDataState->setGeometry(navigEdit->x() + navigEdit->width() + 10, 8, 200, 25);
    lblDataState->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    grData = new DbGrid(this);
    grData->setObjectName(QStringLiteral("grData"));
    grData->setLookupSource(dm.dsCont);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlDataNavig);
    layout->addWidget(grData, 1);

    m_stateListener = dm.dsData->OnStateChange.add([this](TDataSource& sender) { dsDataStateChange(sender); });
    // The page may be built after the table has opened: it shows the state now.
    dsDataStateChange(*dm.dsData);
    grData->OnGetCellParams = [this](DbGrid& sender, CellParams& params) { grDataGetCellParams(sender, params); };

    // The buttons take no focus; a record started from them takes keys at once.
    navigEdit->OnClick = [this](DbNavigator&, DbNavigator::Button which) {
        if (which == DbNavigator::Insert || which == DbNavigator::Edit)
            grData->setFocus(Qt::OtherFocusReason);
    };

    navigMove->setDataSource(dm.dsData);
    navigEdit->setDataSource(dm.dsData);
    grData->setDataSource(dm.dsData);
}

DataPage::~DataPage()
{
    m_dm.dsData->OnStateChange.remove(m_stateListener);
}

void DataPage::dsDataStateChange(TDataSource& sender)
{
    lblDataState->setText(DataStateText(sender.State()));
}

void DataPage::grDataGetCellParams(DbGrid&, CellParams& params)
{
    switch (DataCellColour(params.Value(QStringLiteral("CONTID")), params.Value(QStringLiteral("LIMIT")),
                           params.FieldName)) {
    case CellColour::GroupTotal: params.FontColor = QColor(0, 0, 255); break;
    case CellColour::NoThreshold: params.FontColor = QColor(0, 128, 0); break;
    case CellColour::Normal: break;
    }
}

}  // namespace emlo
