#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "store/apollotable.h"

namespace emlo {

// Text patterns for field values, by data type.
struct TVFormats {
    QString IntegerFormat = QStringLiteral("###########0");
    QString FloatFormat = QStringLiteral("###########0.000####");
    QString CurrencyFormat = QStringLiteral("00,00");
    QString DateFormat = QStringLiteral("dd.MM.yyyy");
    QString TimeFormat = QStringLiteral("h:mm");
    QString DateTimeFormat = QStringLiteral("dd.MM.yyyy h:mm");
    QString BooleanTrue = QStringLiteral("True");
    QString BooleanFalse = QStringLiteral("False");
};

// The part of an export writer that does not depend on the output format:
// which table, which fields, how a value becomes text. Derived writers
// override Execute to write their format and EscapeText to protect values.
//
// Errors are raised as Exception with the message the caller shows; the
// writer itself shows nothing.
class TVExport : public QObject {
    Q_OBJECT
public:
    explicit TVExport(QObject* parent = nullptr);
    ~TVExport() override;

    // Names (or display labels) of the fields to write; empty: every visible
    // field that is not a blob.
    QStringList ExportedFields;
    // Move to the first record before writing.
    bool GoToFirstRecord = true;
    // Full path of the file to write.
    QString FileName;
    TVFormats Formats;
    // "field=pattern" lines overriding the pattern of single fields.
    QStringList UserFormats;
    // "display name=caption" lines overriding display labels.
    QStringList Captions;
    // Write the description of the exported fields.
    bool ColHeaders = true;
    // The decimal separator of numbers; null: the user's locale's, which the
    // program never changes (unattended runs may fix it).
    QChar DecimalSeparator;

    // The table to export; becomes nullptr when that table is destroyed.
    TApolloTable* Dataset() const { return m_dataset; }
    void setDataset(TApolloTable* dataset) { m_dataset = dataset; }

    // Checks the settings, builds the display-name list and (GoToFirstRecord)
    // moves to the first record. Raises "Invalid file name!", "Dataset not
    // assigned!" or "Dataset not active!". Returns true.
    virtual bool Execute();

    // The value of the field in the current record as text: empty for null,
    // numbers by their pattern with the locale's separators, other kinds as
    // the table delivers them.
    virtual QString GetFieldText(const TField& field) const;
    // Protects a value for the output format; unchanged here.
    virtual QString EscapeText(const QString& text) const;
    // Whether the field is written (see ExportedFields).
    bool IsFieldExported(const TField& field) const;

    // The display name of every field of the table, in field order, as built
    // by the last Execute.
    const QStringList& DisplayNames() const { return m_displayNames; }

private:
    QString userFormatFor(const TField& field) const;

    QPointer<TApolloTable> m_dataset;
    QStringList m_displayNames;
};

}  // namespace emlo
