#pragma once

#include <QWidget>

class QFrame;
class QGroupBox;
class QLabel;

namespace emlo {
class TDataModule;

class DbEdit;

// The attributes page: the enterprise's name, registry code, address,
// telephone, head and the coordinates of its site, each box bound to one
// field of the attribute record (ATTR) through dsAttr.
class AttrPage : public QWidget {
    Q_OBJECT
public:
    // Fills gbAttr; the data module must outlive the page.
    AttrPage(TDataModule& dm, QGroupBox* gbAttr);

    DbEdit* edEnName = nullptr;
    DbEdit* edEDRPOU = nullptr;
    DbEdit* edEnAddr = nullptr;
    DbEdit* edEnPhone = nullptr;
    DbEdit* edEnChPos = nullptr;
    DbEdit* edEnChName = nullptr;
    DbEdit* edX1 = nullptr;
    DbEdit* edX2 = nullptr;
    DbEdit* edX3 = nullptr;
    DbEdit* edY1 = nullptr;
    DbEdit* edY2 = nullptr;
    DbEdit* edY3 = nullptr;
    QFrame* pnlCoord = nullptr;
    QGroupBox* gbLatitude = nullptr;
    QGroupBox* gbLongtitude = nullptr;

    // The handlers of the page's boxes.
    void edEDRPOUKeyPress(DbEdit& sender, QChar& key);
    void edDegUpdateData(DbEdit& sender, bool& Handled);
    void edMinAndSecUpdateData(DbEdit& sender, bool& Handled);

protected:
    bool focusNextPrevChild(bool next) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    DbEdit* addBox(const char* name, const char* field, const QString& label, const char* labelName, int left, int top,
                   int width, QWidget* parent);
    void buildCoordinates();
    void checkCoordinate(DbEdit& sender, bool& Handled);

    TDataModule& m_dm;
};

}  // namespace emlo
