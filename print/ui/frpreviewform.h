#pragma once

#include <QDialog>

#include "print/frdocument.h"

class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class QScrollArea;

namespace emlo::print {

class TfrPageView;

/// The modal preview of a prepared report: the pages one under the other on
/// a grey desk, a zoom choice, print, save as PDF and close. Titled
/// "Попередній перегляд - " and the report's title.
class TfrPreviewForm : public QDialog {
    Q_OBJECT
public:
    explicit TfrPreviewForm(TfrDocument document, QWidget* parent = nullptr);
    ~TfrPreviewForm() override;

    const TfrDocument& document() const { return m_document; }

    /// Zoom as a factor of the natural size (1 is 100 %).
    double zoom() const;
    void setZoom(double factor);
    /// The page shown at the top of the view, from 1.
    int currentPage() const;

public slots:
    /// Asks for the printer and prints the chosen pages.
    void printDocument();
    /// Asks for a file name and writes the document as PDF; the outcome (the
    /// file written, or the error) goes to the user in a message box.
    void saveAsPdf();

    /// Scrolls so that the page (from 1) stands at the top of the view.
    void showPage(int page);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitToScreen();
    void zoomChosen(int index);
    void applyZoom(double factor);
    void updatePageLabel();
    double fitFactor(bool wholePage) const;

    TfrDocument m_document;
    QComboBox* m_zoom = nullptr;
    QPushButton* m_print = nullptr;
    QPushButton* m_savePdf = nullptr;
    QPushButton* m_close = nullptr;
    QLabel* m_pageLabel = nullptr;
    QScrollArea* m_scroll = nullptr;
    TfrPageView* m_view = nullptr;
};

/// Prints pages of the document on the printer in full-page mode, A4, as
/// the printer's page range says (all pages when it names none). Returns
/// false and sets *error when the printer cannot be used.
bool PrintDocument(QPrinter& printer, const TfrDocument& document, QString* error);

}  // namespace emlo::print
