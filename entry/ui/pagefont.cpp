#include "pagefont.h"

#include <QWidget>

namespace emlo {

void UsePageFont(QWidget& page)
{
    QFont font = page.font();
    font.setPointSize(8);
    page.setFont(font);
}

}  // namespace emlo
