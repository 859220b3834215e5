#include "attrpage.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "entry/attrrules.h"
#include "pagefont.h"
#include "tabwrap.h"
#include "store/datamodule.h"
#include "widgets/messagebox.h"
#include "widgets/db/beep.h"
#include "widgets/db/dbedit.h"

namespace emlo {

namespace {
constexpr int kLabelHeight = 15;
constexpr int kPanelHeight = 72;
constexpr int kLatitudeWidth = 255;
}  // namespace

AttrPage::AttrPage(TDataModule& dm, QGroupBox* gbAttr) : QWidget(gbAttr), m_dm(dm)
{
    setObjectName(QStringLiteral("attrPage"));
    UsePageFont(*this);
    auto* layout = new QVBoxLayout(gbAttr);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(this);

    edEnName = addBox("edEnName", "ENNAME", QStringLiteral("Повна назва об`єкта"), "lblEnName", 10, 2, 299, this);
    edEDRPOU = addBox("edEDRPOU", "EDRPOU", QStringLiteral("Код за ЄДРПОУ"), "lblEDRPOU", 348, 2, 110, this);
    edEnAddr = addBox("edEnAddr", "ENADDR", QStringLiteral("Місцезнаходження"), "lblEnAddr", 10, 46, 300, this);
    edEnPhone = addBox("edEnPhone", "ENPHONE", QStringLiteral("Телефон"), "lblEnPhone", 348, 46, 110, this);
    edEnChPos = addBox("edEnChPos", "ENCH_POS", QStringLiteral("Керівник об`єкта"), "lblEnChPos", 10, 90, 200, this);
    edEnChName = addBox("edEnChName", "ENCH_NAME", QStringLiteral("Прізвище, ім`я та по-батькові керівника"),
                        "lblEnChName", 234, 90, 225, this);
    buildCoordinates();

    edEDRPOU->OnKeyPress = [this](DbEdit& sender, QChar& key) { edEDRPOUKeyPress(sender, key); };
    for (DbEdit* box : {edX1, edY1})
        box->OnUpdateData = [this](DbEdit& sender, bool& handled) { edDegUpdateData(sender, handled); };
    for (DbEdit* box : {edX2, edX3, edY2, edY3})
        box->OnUpdateData = [this](DbEdit& sender, bool& handled) { edMinAndSecUpdateData(sender, handled); };

    const QList<QWidget*> order{edEnName, edEDRPOU, edEnAddr, edEnPhone, edEnChPos, edEnChName,
                                edX1,     edX2,     edX3,     edY1,      edY2,      edY3};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

DbEdit* AttrPage::addBox(const char* name, const char* field, const QString& label, const char* labelName, int left,
                         int top, int width, QWidget* parent)
{
    auto* caption = new QLabel(label, parent);
    caption->setObjectName(QString::fromLatin1(labelName));
    caption->move(left, top);
    caption->adjustSize();
    auto* box = new DbEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(left, top + kLabelHeight + 1, width, box->sizeHint().height());
    box->setDataField(QString::fromLatin1(field));
    box->setDataSource(m_dm.dsAttr);
    caption->setBuddy(box);
    return box;
}

void AttrPage::buildCoordinates()
{
    pnlCoord = new QFrame(this);
    pnlCoord->setObjectName(QStringLiteral("pnlCoord"));
    pnlCoord->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlCoord->setLineWidth(1);

    gbLatitude = new QGroupBox(QStringLiteral("Широта"), pnlCoord);
    gbLatitude->setObjectName(QStringLiteral("gbLatitude"));
    gbLongtitude = new QGroupBox(QStringLiteral("Довгота"), pnlCoord);
    gbLongtitude->setObjectName(QStringLiteral("gbLongtitude"));

    const char* const parts[] = {"градуси", "мінути", "секунди"};
    DbEdit** latitude[] = {&edX1, &edX2, &edX3};
    DbEdit** longitude[] = {&edY1, &edY2, &edY3};
    for (int i = 0; i < 3; ++i) {
        const QString label = QString::fromUtf8(parts[i]);
        const QByteArray n = QByteArray::number(i + 1);
        *latitude[i] = addBox(("edX" + n).constData(), ("X" + n).constData(), label, ("lblX" + n).constData(),
                              10 + 65 * i, 16, 40, gbLatitude);
        *longitude[i] = addBox(("edY" + n).constData(), ("Y" + n).constData(), label, ("lblY" + n).constData(),
                               10 + 65 * i, 16, 40, gbLongtitude);
    }
    for (DbEdit* box : {edX1, edX2, edX3, edY1, edY2, edY3}) {
        box->setEditMask(QStringLiteral("99;0;_"));
        box->setMaxLength(2);
    }
}

void AttrPage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The coordinates panel stands along the bottom edge, the two groups side by side.
    pnlCoord->setGeometry(0, height() - kPanelHeight, width(), kPanelHeight);
    const int inner = kPanelHeight - 4;
    gbLatitude->setGeometry(2, 2, kLatitudeWidth, inner);
    gbLongtitude->setGeometry(2 + kLatitudeWidth, 2, qMax(0, width() - 4 - kLatitudeWidth), inner);
}

void AttrPage::edEDRPOUKeyPress(DbEdit&, QChar& key)
{
    if (!RegistryCodeAccepts(key)) {
        key = QChar(0);
        Beep();
    }
}

void AttrPage::checkCoordinate(DbEdit& sender, bool& Handled)
{
    Handled = false;
    const QString failure = CoordinateError(sender.DataField(), sender.text());
    if (failure.isEmpty())
        return;
    messageDlg(failure, MsgKind::Error, MsgButton::Ok | MsgButton::Help, kCoordinateHelpTopic, window());
    Handled = true;
}

void AttrPage::edDegUpdateData(DbEdit& sender, bool& Handled)
{
    checkCoordinate(sender, Handled);
}

void AttrPage::edMinAndSecUpdateData(DbEdit& sender, bool& Handled)
{
    checkCoordinate(sender, Handled);
}

bool AttrPage::focusNextPrevChild(bool next)
{
    return WrapTabOrder(edEnName, edY3, next) || QWidget::focusNextPrevChild(next);
}

}  // namespace emlo
