#include "pagefont.h"

#include <QWidget>

namespace emlo {

QFont PageFont(const QFont& base)
{
    QFont font = base;
    // Liberation Sans has the metrics of the dialog font the layout was made
    // for; the application's family stands in where it is not installed.
    font.setFamilies({QStringLiteral("Liberation Sans"), font.family()});
    font.setPointSize(8);
    return font;
}

void UsePageFont(QWidget& page)
{
    page.setFont(PageFont(page.font()));
}

}  // namespace emlo
