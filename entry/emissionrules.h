#pragma once

#include <QString>
#include <QVariant>

#include "store/apollotable.h"

namespace emlo {

// Rules of the emissions page that need no window. The rules every writer
// of DATA follows are the data module's (store/datarules.h).

// Text of the state label of the emissions page ("Стан: перегляд", ...).
QString DataStateText(TDataSetState state);

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
