#pragma once

// The program's own words for a failed engine call, chosen by the kind of
// its outcome (SX_ERR_... of sde.h), so that a lock, a damaged file and a
// full disk read differently; the file is named.

#include <QString>

namespace emlo {

QString engineFailureText(short kind, const QString& file);

// A table shorter than its header says (a copy cut short, a restore of a
// part): how many records are gone.
QString truncatedTableText(long missing);

}  // namespace emlo
