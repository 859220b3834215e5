#pragma once

#include <optional>

#include <QByteArrayView>
#include <QStringView>

namespace emlo::registry {

// Parses a number as the export writes it on any PC: optional sign, digits,
// and a fraction after a point or a comma. An empty (or blank) text gives no
// value and ok. Anything else sets ok to false.
std::optional<double> ParseExportNumber(QStringView text, bool* ok);
// The same over the Windows-1251 bytes of a file, without decoding them.
std::optional<double> ParseExportNumber(QByteArrayView cp1251, bool* ok);

}  // namespace emlo::registry
