#include "entrypages.h"

#include <QEvent>
#include <QGroupBox>

#include "attrpage.h"
#include "codespage.h"
#include "datapage.h"

namespace emlo {

namespace {

// Builds the codes page when its group box is first shown: its settlement
// look-ups would otherwise read the 30,000 settlements at start-up, for a
// page that is not shown first and may not be opened at all. Showing is
// synchronous, so whoever shows the page (the navigation bar, the report's
// go-to) finds its controls at once.
class BuildOnFirstShow : public QObject {
public:
    BuildOnFirstShow(TDataModule& dm, QGroupBox* box) : QObject(box), m_dm(dm), m_box(box)
    {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_box && event->type() == QEvent::Show) {
            m_box->removeEventFilter(this);
            // A child added to a shown box would only be shown a turn later.
            (new CodesPage(m_dm, m_box))->show();
            deleteLater();
        }
        return false;
    }

private:
    TDataModule& m_dm;
    QGroupBox* m_box;
};

}  // namespace

EntryPages InstallEntryPages(TDataModule& dm, QGroupBox* gbAttr, QGroupBox* gbCode, QGroupBox* gbData)
{
    EntryPages pages;
    pages.Attr = new AttrPage(dm, gbAttr);
    if (gbCode->isVisible())
        pages.Codes = new CodesPage(dm, gbCode);
    else
        new BuildOnFirstShow(dm, gbCode);
    pages.Data = new DataPage(dm, gbData);
    return pages;
}

}  // namespace emlo
