#include "frpreviewform.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

#include "print/frpainter.h"
#include "frpreviewdialogs.h"
#include "widgets/dialogseam.h"
#include "widgets/messagebox.h"

namespace emlo::print {

using namespace Qt::StringLiterals;

namespace {

constexpr int kGap = 16;  // pixels between pages and around them

struct ZoomChoice {
    const char16_t* text;
    double factor;  // 0: fit the width, -1: fit the whole page
};

const ZoomChoice kZoomChoices[] = {
    {u"50 %", 0.5},           {u"75 %", 0.75}, {u"100 %", 1.0},
    {u"150 %", 1.5},          {u"200 %", 2.0}, {u"По ширині сторінки", 0},
    {u"Сторінка цілком", -1},
};
constexpr int kDefaultZoom = 2;

}  // namespace

/// Draws the pages of a document one under another at a zoom.
class TfrPageView : public QWidget {
public:
    TfrPageView(const TfrDocument& document, QWidget* parent) : QWidget(parent), m_document(document)
    {
        setObjectName(u"frPageView"_s);
        setAutoFillBackground(false);
    }

    double zoom() const { return m_zoom; }
    void setZoom(double zoom)
    {
        m_zoom = zoom;
        resize(sizeHint());
        update();
    }

    double pixelsPerUnit() const { return m_zoom * logicalDpiX() / kUnitsPerInch; }

    QRect pageRect(int index) const
    {
        int y = kGap;
        for (int i = 0; i < index; ++i)
            y += pagePixels(i).height() + kGap;
        const QSize size = pagePixels(index);
        return QRect((width() - size.width()) / 2, y, size.width(), size.height());
    }

    // The page whose area covers the given height, from 0.
    int pageAt(int y) const
    {
        int top = kGap;
        for (int i = 0; i < int(m_document.pages.size()); ++i) {
            top += pagePixels(i).height() + kGap;
            if (y < top)
                return i;
        }
        return int(m_document.pages.size()) - 1;
    }

    QSize sizeHint() const override
    {
        int w = 0;
        int h = kGap;
        for (int i = 0; i < int(m_document.pages.size()); ++i) {
            const QSize s = pagePixels(i);
            w = qMax(w, s.width());
            h += s.height() + kGap;
        }
        return QSize(w + 2 * kGap, h);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.fillRect(event->rect(), QColor(0x80, 0x80, 0x80));
        for (int i = 0; i < int(m_document.pages.size()); ++i) {
            const QRect r = pageRect(i);
            if (!r.adjusted(0, 0, 4, 4).intersects(event->rect()))
                continue;
            painter.fillRect(r.translated(3, 3), QColor(0x40, 0x40, 0x40));
            painter.fillRect(r, Qt::white);
            painter.save();
            painter.translate(r.topLeft());
            painter.setClipRect(QRect(QPoint(0, 0), r.size()));
            PaintPage(painter, m_document.pages[i], pixelsPerUnit());
            painter.restore();
        }
    }

private:
    QSize pagePixels(int index) const
    {
        const QSizeF s = m_document.pages[index].size * pixelsPerUnit();
        return QSize(int(std::ceil(s.width())), int(std::ceil(s.height())));
    }

    const TfrDocument& m_document;
    double m_zoom = 1;
};

TfrPreviewForm::TfrPreviewForm(TfrDocument document, QWidget* parent) : QDialog(parent), m_document(std::move(document))
{
    setObjectName(u"frPreview"_s);
    setWindowTitle(u"Попередній перегляд - "_s + m_document.title);
    setModal(true);

    m_zoom = new QComboBox(this);
    m_zoom->setObjectName(u"cbZoom"_s);
    m_zoom->setToolTip(u"Масштаб"_s);
    for (const ZoomChoice& z : kZoomChoices)
        m_zoom->addItem(QString::fromUtf16(z.text), z.factor);

    m_print = new QPushButton(u"Друк..."_s, this);
    m_print->setObjectName(u"btnPrint"_s);
    m_print->setToolTip(u"Надрукувати звіт"_s);
    m_savePdf = new QPushButton(u"Зберегти як PDF..."_s, this);
    m_savePdf->setObjectName(u"btnSavePdf"_s);
    m_savePdf->setToolTip(u"Зберегти звіт у файлі PDF"_s);
    m_close = new QPushButton(u"Закрити"_s, this);
    m_close->setObjectName(u"btnClose"_s);
    // Enter closes the preview; printing needs a deliberate click.
    m_print->setAutoDefault(false);
    m_savePdf->setAutoDefault(false);
    m_close->setDefault(true);
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(u"lblPage"_s);

    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(u"Масштаб:"_s, this));
    tools->addWidget(m_zoom);
    tools->addSpacing(12);
    tools->addWidget(m_print);
    tools->addWidget(m_savePdf);
    tools->addStretch(1);
    tools->addWidget(m_pageLabel);
    tools->addSpacing(12);
    tools->addWidget(m_close);

    m_view = new TfrPageView(m_document, this);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(u"frPages"_s);
    m_scroll->setWidget(m_view);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(m_scroll, 1);

    connect(m_zoom, &QComboBox::activated, this, &TfrPreviewForm::zoomChosen);
    connect(m_print, &QPushButton::clicked, this, &TfrPreviewForm::printDocument);
    connect(m_savePdf, &QPushButton::clicked, this, &TfrPreviewForm::saveAsPdf);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, &TfrPreviewForm::updatePageLabel);

    m_zoom->setCurrentIndex(kDefaultZoom);
    m_view->setZoom(kZoomChoices[kDefaultZoom].factor);
    // PageUp and PageDown turn pages wherever the focus is, the zoom box
    // included (which would otherwise change the zoom with them).
    m_zoom->installEventFilter(this);
    m_scroll->installEventFilter(this);
    fitToScreen();
    updatePageLabel();
}

void TfrPreviewForm::fitToScreen()
{
    QSize size(900, 1000);
    if (const QScreen* screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        // Room for the window frame that the window manager adds.
        size = size.boundedTo(room.size() - QSize(16, 48));
        resize(size);
        QRect frame(QPoint(), size);
        frame.moveCenter(room.center());
        move(frame.topLeft());
        return;
    }
    resize(size);
}

void TfrPreviewForm::showPage(int page)
{
    const int count = int(m_document.pages.size());
    if (count == 0)
        return;
    page = qBound(1, page, count);
    m_scroll->verticalScrollBar()->setValue(m_view->pageRect(page - 1).top() - kGap);
    updatePageLabel();
}

bool TfrPreviewForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp) {
            showPage(currentPage() + (key->key() == Qt::Key_PageDown ? 1 : -1));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

TfrPreviewForm::~TfrPreviewForm() = default;

double TfrPreviewForm::zoom() const
{
    return m_view->zoom();
}

void TfrPreviewForm::setZoom(double factor)
{
    applyZoom(factor);
    // A factor of the list shows as chosen; any other as its percentage.
    const int index = m_zoom->findData(zoom());
    m_zoom->setPlaceholderText(u"%1 %"_s.arg(qRound(zoom() * 100)));
    m_zoom->setCurrentIndex(index);
}

void TfrPreviewForm::applyZoom(double factor)
{
    m_view->setZoom(qBound(0.1, factor, 8.0));
    updatePageLabel();
}

int TfrPreviewForm::currentPage() const
{
    return m_view->pageAt(m_scroll->verticalScrollBar()->value() + kGap) + 1;
}

void TfrPreviewForm::zoomChosen(int index)
{
    const double factor = m_zoom->itemData(index).toDouble();
    applyZoom(factor > 0 ? factor : fitFactor(factor < 0));
    // Back to the pages, so that the keys go on moving through them.
    m_scroll->setFocus();
}

double TfrPreviewForm::fitFactor(bool wholePage) const
{
    if (m_document.isEmpty())
        return 1;
    const QSizeF page = m_document.pages[0].size * (m_view->logicalDpiX() / kUnitsPerInch);
    const QSize room = m_scroll->viewport()->size() - QSize(2 * kGap, 2 * kGap);
    double factor = room.width() / page.width();
    if (wholePage)
        factor = qMin(factor, room.height() / page.height());
    return factor;
}

void TfrPreviewForm::updatePageLabel()
{
    m_pageLabel->setText(u"Сторінка %1 з %2"_s.arg(currentPage()).arg(m_document.pages.size()));
}

void TfrPreviewForm::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Print)) {
        printDocument();
        return;
    }
    if (event->matches(QKeySequence::ZoomIn) || event->key() == Qt::Key_Plus) {
        setZoom(zoom() * 1.25);
        return;
    }
    if (event->matches(QKeySequence::ZoomOut) || event->key() == Qt::Key_Minus) {
        setZoom(zoom() / 1.25);
        return;
    }
    if (event->key() == Qt::Key_PageDown || event->key() == Qt::Key_PageUp) {
        showPage(currentPage() + (event->key() == Qt::Key_PageDown ? 1 : -1));
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrPreviewForm::printDocument()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_document.title);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
    if (!FrPreviewDialogs::current().SetUpPrinter(printer, int(m_document.pages.size()), this))
        return;
    QString error;
    if (!PrintDocument(printer, m_document, &error))
        messageDlg(u"Помилка друку звіту:\r\n"_s + error, MsgKind::Error, MsgButton::Ok, 0, this);
}

void TfrPreviewForm::saveAsPdf()
{
    const QString suggested = QDir::home().filePath(m_document.title + u".pdf"_s);
    const QString path = FrPreviewDialogs::current().AskPdfFileName(this, suggested);
    if (path.isEmpty())
        return;
    QString error;
    if (!RenderPdf(m_document, path, &error)) {
        messageDlg(u"Помилка збереження звіту:\r\n"_s + error, MsgKind::Error, MsgButton::Ok, 0, this);
        return;
    }
    messageDlg(u"Звіт збережено у файлі %1"_s.arg(QDir::toNativeSeparators(path)), MsgKind::Information, MsgButton::Ok,
               0, this);
}

bool PrintDocument(QPrinter& printer, const TfrDocument& document, QString* error)
{
    printer.setFullPage(true);
    int first = 0;
    int last = int(document.pages.size()) - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage() - 1;
        last = qMin(last, printer.toPage() - 1);
    }
    return PaintDocument(printer, document, error, first, last);
}

}  // namespace emlo::print
