#pragma once

#include <QWidget>

class QFrame;
class QGroupBox;
class QLabel;

namespace emlo {
class TDataModule;
class TDataSource;

class DbGrid;
class DbNavigator;
struct CellParams;

// The emissions page: the emission records (DATA) in a grid, one per
// pollutant, with two navigators and a label that reports the table's state.
// The emission table's rules are the data module's, so they hold whether
// or not the page has been built.
class DataPage : public QWidget {
    Q_OBJECT
public:
    // Fills gbData; the data module must outlive the page.
    DataPage(TDataModule& dm, QGroupBox* gbData);
    ~DataPage() override;

    QFrame* pnlDataNavig = nullptr;
    DbNavigator* navigMove = nullptr;
    DbNavigator* navigEdit = nullptr;
    QLabel* lblDataState = nullptr;
    DbGrid* grData = nullptr;

    void dsDataStateChange(TDataSource& sender);
    void grDataGetCellParams(DbGrid& sender, CellParams& params);

private:
    TDataModule& m_dm;
    int m_stateListener = 0;  // on dsData, taken off with the page
};

}  // namespace emlo
