#pragma once

#include <QDate>
#include <QHash>
#include <QLocale>
#include <QString>

#include "frdataadapter.h"
#include "frdocument.h"
#include "frtemplate.h"

namespace emlo::print {

/// Settings of one preparation that do not belong to the template.
struct TfrPrepareOptions {
    QDate today;                         ///< DATE; invalid means the current date
    QLocale locale = QLocale::system();  ///< decimal separator of the general number form
    /// Where a margin of 0 ("the printer's limit") stands, in units: about
    /// 5 mm, which common A4 printers can print up to.
    double printableMargin = 18;
};

/// The band report engine: lays a template out over its data adapters into
/// pages of placed boxes. Sections follow one another, each on a new sheet;
/// within one, the page header, the master header, per master record the
/// master data band, the detail header, the detail rows and footers, and the
/// master footer, with page breaks at the bottom limit, repeated headers and
/// page footers. Prepares in two passes so [TOTALPAGES] is final in the second.
class TfrReport {
public:
    explicit TfrReport(TfrTemplate tpl);

    const TfrTemplate& Template() const { return m_template; }

    /// Connects a data band's source name ("frAttr") to an adapter, which
    /// must outlive the preparation. The adapter's DataSetName() is the name
    /// expressions use for its fields.
    void SetDataAdapter(const QString& name, TfrDataAdapter* adapter);

    /// Lays the report out. Throws TfrError for an expression that cannot be
    /// evaluated or a data source that is not connected; errors of the
    /// adapters pass through. The adapters are left at their end.
    TfrDocument PrepareReport(const TfrPrepareOptions& options = {}) const;

private:
    TfrTemplate m_template;
    QHash<QString, TfrDataAdapter*> m_adapters;
};

}  // namespace emlo::print
