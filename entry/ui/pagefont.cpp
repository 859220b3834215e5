#include "pagefont.h"

#include <QWidget>

namespace emlo {

void UsePageFont(QWidget& page)
{
    QFont font = page.font();
    // Liberation Sans has the metrics of the dialog font the layout was made
    // for; the application's family stands in where it is not installed.
    font.setFamilies({QStringLiteral("Liberation Sans"), font.family()});
    font.setPointSize(8);
    page.setFont(font);
}

}  // namespace emlo
