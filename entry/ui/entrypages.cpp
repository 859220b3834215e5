#include "entrypages.h"

#include <QEvent>
#include <QGroupBox>
#include <QLayout>

#include "attrpage.h"
#include "codespage.h"
#include "datapage.h"

namespace emlo {

namespace {

// Builds a page when its group box is first shown: the codes page's
// settlement look-ups would otherwise read the 30,000 settlements at
// start-up, and the emissions grid would lay out its columns, for pages
// that are not shown first and may not be opened at all. Showing is
// synchronous, so whoever shows the page (the navigation bar, the report's
// go-to) finds its controls at once.
template <typename Page> class BuildOnFirstShow : public QObject {
public:
    BuildOnFirstShow(TDataModule& dm, QGroupBox* box) : QObject(box), m_dm(dm), m_box(box)
    {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_box && event->type() == QEvent::Show) {
            m_box->removeEventFilter(this);
            // A child added to a shown box would only be shown a turn later,
            // and the box has been laid out without it: both are done now,
            // so that the page is in its place before anyone clicks into it.
            auto* page = new Page(m_dm, m_box);
            page->show();
            if (m_box->layout())
                m_box->layout()->activate();
            deleteLater();
        }
        return false;
    }

private:
    TDataModule& m_dm;
    QGroupBox* m_box;
};

// The page now, when its box is shown, else when the box is first shown.
template <typename Page> void installPage(TDataModule& dm, QGroupBox* box)
{
    if (box->isVisible())
        new Page(dm, box);
    else
        new BuildOnFirstShow<Page>(dm, box);
}

}  // namespace

void InstallEntryPages(TDataModule& dm, QGroupBox* gbAttr, QGroupBox* gbCode, QGroupBox* gbData)
{
    new AttrPage(dm, gbAttr);
    installPage<CodesPage>(dm, gbCode);
    installPage<DataPage>(dm, gbData);
}

}  // namespace emlo
