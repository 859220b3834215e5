#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace emlo::print {

/// What the report engine needs of a data source: a walk from the first record
/// to the end, and the fields of the current record by name (letter case does
/// not matter). A band over a data source is printed once per record.
/// Implementations may throw their own exceptions; the engine lets them pass.
class TfrDataAdapter {
public:
    virtual ~TfrDataAdapter() = default;

    /// The name the templates' expressions use for the data set ("tblAttr" in
    /// [tblAttr."ENNAME"]).
    virtual QString DataSetName() const = 0;

    virtual void First() = 0;
    virtual void Next() = 0;
    virtual bool Eof() const = 0;

    virtual bool HasField(const QString& name) const = 0;
    /// True for a character field: its null value prints as an empty text,
    /// any other field's null value as 0.
    virtual bool IsCharField(const QString& name) const = 0;
    virtual bool IsNull(const QString& name) const = 0;
    /// The field's value on the current record: a QString for a character
    /// field, a number otherwise. Undefined when Eof() holds.
    virtual QVariant Value(const QString& name) const = 0;
};

/// A data source held in memory: named fields and rows of values. A null
/// QVariant in a row is a null field. Used by tests and by callers that have
/// their data already at hand.
class TfrMemoryDataSet : public TfrDataAdapter {
public:
    struct Field {
        QString name;
        bool isChar = true;
    };

    TfrMemoryDataSet(QString dataSetName, QVector<Field> fields);

    /// Appends a record; values in the order of the fields, missing ones null.
    void AppendRecord(const QVariantList& values);
    qsizetype RecordCount() const { return m_rows.size(); }
    /// The index of the current record (RecordCount() at the end).
    qsizetype Position() const { return m_pos; }

    QString DataSetName() const override { return m_name; }
    void First() override { m_pos = 0; }
    void Next() override;
    bool Eof() const override { return m_pos >= m_rows.size(); }
    bool HasField(const QString& name) const override { return fieldIndex(name) >= 0; }
    bool IsCharField(const QString& name) const override;
    bool IsNull(const QString& name) const override;
    QVariant Value(const QString& name) const override;

private:
    qsizetype fieldIndex(const QString& name) const;

    QString m_name;
    QVector<Field> m_fields;
    QVector<QVariantList> m_rows;
    qsizetype m_pos = 0;
};

}  // namespace emlo::print
