#pragma once

#include "vexport.h"

namespace emlo {

// Values of the XML declaration.
struct TXMLOptions {
    QString Version = QStringLiteral("1.0");
    QString Encoding;  // empty: no encoding attribute
    bool StandAlone = true;
};

// Writes one open table as one XML file: the declaration, the description of
// the exported fields, and one ROW element per record whose attributes hold
// the values as text. Windows-1251, no byte-order mark, CR LF after every line.
//
// The file is written under a temporary name in the target's folder and moved
// over the target only when complete: after any error the target keeps what
// it held before (or does not exist) and no partial file is left behind. An
// existing file of the target's name, in any letter case, is replaced.
class TVXMLExport : public TVExport {
    Q_OBJECT
public:
    explicit TVXMLExport(QObject* parent = nullptr);

    TXMLOptions XMLOptions;

    // Writes the file from the current record (the first, with
    // GoToFirstRecord) to the end of the table, and leaves the table at its
    // end. Returns true. Raises the checks of TVExport, "Cannot create file "
    // with the full path, "Stream write error", and whatever reading the
    // table raises; before any file is made, an exported field whose name is
    // not an XML name; while writing, a value holding a control character
    // other than TAB, LF and CR (naming the record and the field).
    bool Execute() override;

    // " & < > become entity references, TAB, LF and CR character references;
    // apostrophes and everything else pass.
    QString EscapeText(const QString& text) const override;

private:
    void checkFieldNames() const;
    void writeFieldDescriptions(class TXMLFile& file) const;
    QString rowAttributes() const;
};

}  // namespace emlo
