#pragma once

#include <QString>
#include <QVariant>

#include "store/apollotable.h"

class TField;

namespace emlo {

// Rules of the emission table that hold for every writer of DATA, the
// emissions grid and the data check's group totals alike.

// Text of the state label of the emissions page ("Стан: перегляд", ...).
QString DataStateText(TDataSetState state);

// A new emission record starts with pollutant 1.
void tblDataNewRecord(TApolloTable& tblData);
// An amount entered into a record without pollutant gives it pollutant 1.
// Installed as OnValidate of both POTEN and FACT.
void tblDataFACTValidate(TField& sender);
// A record without pollutant is never written: the post is cancelled with
// the silent abort and the record stays in editing.
void tblDataBeforePost(TApolloTable& tblData);

// Installs the three rules above on the emission table (OnNewRecord,
// BeforePost, OnValidate of POTEN and FACT). The table's fields must be
// defined; call again after they are redefined.
void InstallEmissionRules(TApolloTable& tblData);

// Colour of the text of one emission cell.
enum class CellColour {
    Normal,       // the grid's own font colour
    GroupTotal,   // blue: every cell of a group-total record
    NoThreshold,  // green: the amounts of a pollutant whose threshold is below 0.0005
};

// contId and limit are the row's CONTID and LIMIT (null reads as 0); column
// is the field name of the cell's column.
CellColour DataCellColour(const QVariant& contId, const QVariant& limit, const QString& column);

}  // namespace emlo
