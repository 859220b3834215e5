#pragma once

// The program's own words for a failed engine call, chosen by the kind of
// its outcome (SX_ERR_... of sde.h), so that a lock, a damaged file and a
// full disk read differently; the file is named.

#include <functional>

#include <QString>

namespace emlo {

struct SdeApi;

// A failed engine call about a file: its outcome kind (SX_ERR_...), the file
// named to the user, a line put before the text (may be empty) and the
// engine's own words. kind SX_OK: nothing failed.
struct EngineFailure {
    short kind = 0;
    QString file;
    QString lead;
    QString detail;
};

// The failure of the engine call just made; a failure the engine gives no
// kind for is SX_ERR_OTHER.
EngineFailure lastEngineFailure(const SdeApi& sx, const QString& file, const QString& lead = QString());
// The text the user reads: the lead, a CR, and the kind's text for the file.
QString engineFailureText(const EngineFailure& failure);

// Raises the table's error for a failure; never returns.
using RaiseEngineFailure = std::function<void(const EngineFailure& failure)>;

QString engineFailureText(short kind, const QString& file);

// A table shorter than its header says (a copy cut short, a restore of a
// part): how many records are gone.
QString truncatedTableText(long missing);

}  // namespace emlo
