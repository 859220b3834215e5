#include "programstyle.h"

#include <QGuiApplication>
#include <QGroupBox>
#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QStyleOption>
#include <qdrawutil.h>

namespace emlo {

namespace {

const QString kImages = QStringLiteral(":/qt-project.org/styles/commonstyle/images/");

// A PNG of the toolkit's resources, read by the built-in reader: with the
// format given and no detection, no plugin is asked.
QPixmap builtInPng(const QString& name)
{
    QImageReader reader(kImages + name, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

}  // namespace

ProgramStyle::ProgramStyle(QStyle* base) : QProxyStyle(base) { }

bool ProgramStyle::fusion() const
{
    return baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
}

void ProgramStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    if (element != PE_FrameGroupBox || !fusion()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    if (m_groupBoxFrame.isNull())
        m_groupBoxFrame = builtInPng(QStringLiteral("fusion_groupbox.png"));
    // Fusion's frame starts below the title line; a box with neither title
    // nor check box keeps only the gap.
    constexpr int kGap = 3;
    int top = kGap;
    const auto* box = qobject_cast<const QGroupBox*>(widget);
    if (!box || box->isCheckable() || !box->title().isEmpty())
        top += qMax(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget), option->fontMetrics.height());
    qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), QMargins(6, 6, 6, 6), m_groupBoxFrame);
}

QIcon ProgramStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option, const QWidget* widget) const
{
    if ((standardIcon != SP_ToolBarHorizontalExtensionButton && standardIcon != SP_ToolBarVerticalExtensionButton)
        || !fusion())
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    const bool horizontal = standardIcon == SP_ToolBarHorizontalExtensionButton;
    const bool rtl = (option ? option->direction : QGuiApplication::layoutDirection()) == Qt::RightToLeft;
    const QString stem = horizontal ? (rtl ? QStringLiteral("toolbar-ext-h-rtl-") : QStringLiteral("toolbar-ext-h-"))
                                    : QStringLiteral("toolbar-ext-v-");
    QIcon icon;
    for (int side : horizontal ? QList<int>{8, 16, 32} : QList<int>{5, 10, 20})
        icon.addPixmap(builtInPng(stem + QString::number(side) + QStringLiteral(".png")));
    return icon;
}

}  // namespace emlo
