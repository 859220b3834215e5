#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

#include "testsupport/programfolder.h"

namespace emlo::testing {

// The check's program folder: a few pollutants in CONT.DBF (1, 2, 5, 18 and
// 132), enough for the look-up fields of the emission table, and the cases
// of the check's tests.
class CheckFixture : public ProgramFolder {
public:
    CheckFixture();

    // Loads a case folder: attr.txt ("FIELD=value" lines; no file: no
    // attribute record) and data.txt ("CONTID;POTEN;FACT[;*]" lines, an
    // empty value is blank, "*" marks the record deleted; "#" comments).
    void LoadCase(const QString& folder);
};

// A row as "CONTID;POTEN;FACT" with numbers in their shortest form and blanks
// for null: "132;3.75;0".
QString RowText(const DataRow& row);

// Parses a number written with "." (never the locale's separator); an empty
// text gives null.
QVariant NumberOrNull(const QString& text);

}  // namespace emlo::testing
