#include "aboutbox.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace emlo {

AboutBox::AboutBox(const QString& appText, const QString& otherText, const QIcon& icon, QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(appText);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);

    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("aboutIcon"));
    iconLabel->setPixmap(icon.pixmap(48, 48));

    auto* appLabel = new QLabel(appText, this);
    appLabel->setObjectName(QStringLiteral("aboutAppText"));
    QFont bold = appLabel->font();
    bold.setBold(true);
    appLabel->setFont(bold);

    auto* otherLabel = new QLabel(otherText, this);
    otherLabel->setObjectName(QStringLiteral("aboutOtherText"));

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    ok->setMinimumWidth(75);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setHorizontalSpacing(16);
    layout->addWidget(iconLabel, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(appLabel, 0, 1);
    layout->addWidget(otherLabel, 1, 1);
    layout->addWidget(line, 2, 0, 1, 2);
    layout->addWidget(ok, 3, 0, 1, 2, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void showAboutBox(QWidget* owner, const QString& appText, const QString& otherText, const QIcon& icon)
{
    AboutBox box(appText, otherText, icon, owner);
    box.exec();
}

}  // namespace emlo
