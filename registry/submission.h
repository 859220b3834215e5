#pragma once

#include <optional>

#include <QHash>
#include <QList>
#include <QString>

namespace emlo::registry {

// Why a submission was refused: the file, the ROW record (1 = first) or the
// file line, the field, and the reason in the program's own words.
struct Rejection {
    QString File;    // "attr.xml" or "data.xml" as found on disk; empty: the folder
    int Record = 0;  // ROW number, 0 when the reason concerns no record
    int Line = 0;    // line of the file, for faults of the XML itself; 0 otherwise
    QString Field;   // field name, empty when none
    QString Reason;

    // "data.xml, запис 3, поле POTEN: значення «abc» не є числом"
    QString Text() const;
};

using RejectionList = QList<Rejection>;

// One emission record as sent; an empty value is absent.
struct EmissionRow {
    int Record = 0;  // ROW number in data.xml
    std::optional<double> ContId;
    std::optional<double> Poten;
    std::optional<double> Fact;
};

// What an enterprise sent for one year, as read from its two files. Texts are
// kept as sent (decoded from Windows-1251); numbers of the attribute record
// are parsed but kept as text too, so the check's emptiness rule sees them.
struct SubmissionData {
    QHash<QString, QString> Attr;        // field name in capitals -> text; no attribute record: empty
    QHash<QString, double> AttrNumbers;  // numeric attribute fields that hold a value
    bool HasAttrRecord = false;
    QList<EmissionRow> Rows;
    QByteArray ContentHash;  // SHA-256 of both files' bytes: the same files give the same hash

    QString AttrText(const QString& field) const { return Attr.value(field); }
    // A KOATUU code field (OBL_ID, REGN_ID, CITY_ID) as its ten digits; empty when it holds none.
    QString KoatuuCode(const QString& field) const;
    qint32 AttrInt(const QString& field) const { return qint32(AttrNumbers.value(field)); }
};

}  // namespace emlo::registry
