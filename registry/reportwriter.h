#pragma once

#include <QIODevice>
#include <QString>

#include "report.h"

namespace emlo::registry {

// CSV for spreadsheets as Ukrainian users open them: UTF-8 with a byte-order
// mark, ";" between fields, a comma before decimals. The grouped table
// first, then, after an empty line, the enterprises at or over a threshold.
// False with the reason when the device refuses the write.
bool WriteCsvReport(const RegistryReport& report, QIODevice* device, QString* error);

// One self-contained HTML file (no script, no outside file): the grouped
// table, bar charts by region and by pollutant drawn as SVG, and the
// enterprises at or over a threshold.
bool WriteHtmlReport(const RegistryReport& report, QIODevice* device, QString* error);

// An amount in tonnes as the reports write it, with a comma: three decimals
// from one tonne up, below that up to seven.
QString FormatTonnes(double value);

}  // namespace emlo::registry
