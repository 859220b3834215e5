#pragma once

#include <QWidget>

class QGroupBox;

namespace emlo {
class TDataModule;

class DbEdit;
class DbLookupCombo;
class LookupBox;

// The statistical codes page: region, district and settlement, departmental
// subordination, kind of activity and form of ownership of the enterprise,
// each kept in the attribute record as a code and a name taken from a
// reference table. The district follows from the settlement; choosing a
// region restricts the settlement list to the region.
class CodesPage : public QWidget {
    Q_OBJECT
public:
    // Fills gbCode; the data module must outlive the page.
    CodesPage(TDataModule& dm, QGroupBox* gbCode);

    DbLookupCombo* cbOblDescr = nullptr;
    DbEdit* edOBLID = nullptr;
    DbEdit* edtRegDescr = nullptr;
    DbEdit* edREGNID = nullptr;
    DbLookupCombo* cbCityDescr = nullptr;
    DbLookupCombo* cbCityID = nullptr;
    DbEdit* edtSpoduDescr = nullptr;
    DbLookupCombo* cbSpoduID = nullptr;
    DbEdit* edtKvedDescr = nullptr;
    DbLookupCombo* cbKvedID = nullptr;
    DbEdit* edtKfvDescr = nullptr;
    DbLookupCombo* cbKfvID = nullptr;

    void cbSpoduIDKeyValueChanged(LookupBox& sender);
    void cbKvedIDKeyValueChanged(LookupBox& sender);
    void cbKfvIDKeyValueChanged(LookupBox& sender);
    void cbCityUpdateData(DbLookupCombo& sender, bool& Handled);
    void cbOblDescrUpdateData(DbLookupCombo& sender, bool& Handled);

protected:
    bool focusNextPrevChild(bool next) override;

private:
    DbEdit* readOnlyBox(const char* name, const char* field, int left, int top, int width);
    DbLookupCombo* lookupBox(const char* name, const char* field, int left, int top, int width);

    TDataModule& m_dm;
};

}  // namespace emlo
