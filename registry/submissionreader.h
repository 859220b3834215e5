#pragma once

#include <QByteArray>
#include <QString>

#include "submission.h"

namespace emlo::registry {

// Bounds that keep a hostile file from taking the importer's memory: a file
// larger than MaxFileBytes is refused before it is read, and a data.xml with
// more than MaxRecords ROW records is refused while it is read.
struct ReaderLimits {
    qint64 MaxFileBytes = 4 * 1024 * 1024;
    int MaxRecords = 10000;
};

// Reads the two files an enterprise sends (attr.xml, data.xml) in exactly the
// layout the program's export writes: a Windows-1251 declaration, DATAPACKET
// with METADATA/FIELDS/FIELD and ROWDATA/ROW, one attribute per field. Either
// decimal separator is taken. Structure and values only: whether the data is
// complete and its codes known is SubmissionValidator's.
//
// A DTD is refused outright, so no entity is ever declared or expanded; any
// element outside the layout is refused when met, which bounds the nesting.
class SubmissionReader {
public:
    explicit SubmissionReader(ReaderLimits limits = {}) : m_limits(limits) { }

    // Reads both files. On failure returns false and appends the reason
    // (the first fault of the file) to errors; out is then incomplete.
    bool Read(const QString& attrPath, const QString& dataPath, SubmissionData* out, RejectionList* errors) const;

    // The same from bytes already in memory; the names are used in reasons.
    bool ReadBytes(const QString& attrName, const QByteArray& attr, const QString& dataName, const QByteArray& data,
                   SubmissionData* out, RejectionList* errors) const;

private:
    bool readFile(const QString& path, QByteArray* bytes, RejectionList* errors) const;

    ReaderLimits m_limits;
};

}  // namespace emlo::registry
