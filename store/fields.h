#pragma once

// Dataset fields of TApolloTable: typed access to one column of the current
// record. A field never holds the value itself; it reads and writes the record
// buffer of its table. Look-up fields take their value from another table.

#include <functional>

#include <QChar>
#include <QDate>
#include <QString>
#include <QVariant>

#include "store/numberformat.h"
#include "store/tableevent.h"

namespace emlo {

class TApolloTable;
class FieldList;

// The order is fixed: the XML export writes FieldTypeName(DataType).
enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid
};

// "ftString", "ftFloat", ... ; "" for a value outside the enumeration.
QString FieldTypeName(TFieldType type);

enum TFieldKind { fkData, fkLookup, fkCalculated };

class TField {
public:
    virtual ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    // ---- definition (set before the table opens) ----
    const QString& FieldName() const { return m_fieldName; }
    TFieldType DataType() const { return m_dataType; }
    int Size() const { return m_size; }  // characters of a string field, else 0
    TFieldKind FieldKind() const { return m_fieldKind; }
    void setFieldKind(TFieldKind kind) { m_fieldKind = kind; }
    virtual QString ClassName() const = 0;  // "TStringField", "TFloatField", ...

    // The column title; a "|" splits it into an upper and a lower level.
    const QString& DisplayLabel() const { return m_displayLabel; }
    void setDisplayLabel(const QString& label) { m_displayLabel = label; }
    QString DisplayName() const;  // DisplayLabel, or FieldName without one
    int DisplayWidth() const;     // in characters; default: Size, or 10
    void setDisplayWidth(int width) { m_displayWidth = width; }
    const QString& DisplayFormat() const { return m_displayFormat; }  // FormatFloat pattern
    void setDisplayFormat(const QString& pattern) { m_displayFormat = pattern; }
    bool Visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool Required() const { return m_required; }
    void setRequired(bool required) { m_required = required; }

    // Look-up definition: this field's value is LookupResultField of the
    // LookupDataSet record whose LookupKeyFields equals this table's KeyFields.
    bool Lookup() const { return m_fieldKind == fkLookup; }
    TApolloTable* LookupDataSet() const { return m_lookupDataSet; }
    const QString& LookupKeyFields() const { return m_lookupKeyFields; }
    const QString& LookupResultField() const { return m_lookupResultField; }
    const QString& KeyFields() const { return m_keyFields; }
    void setLookup(TApolloTable* lookupDataSet, const QString& lookupKeyFields, const QString& lookupResultField,
                   const QString& keyFields);

    // ---- place in its table ----
    TApolloTable* DataSet() const { return m_dataSet; }
    int Index() const;                         // position in the table's field list
    int FieldNo() const { return m_fieldNo; }  // 1-based file column; 0 for a look-up field

    // ---- value of the current record ----
    // Reading never throws; a closed table reads as null. Writing needs the
    // table in edit or insert state and a field that is not ReadOnly (else
    // EDatabaseError); OnValidate runs first and may refuse the value by
    // throwing; then the buffer takes it, the table becomes Modified and its
    // data links hear RecordChanged(this).
    bool IsNull() const;
    void Clear();
    QVariant AsVariant() const;  // null, QString, int, double, bool or QDate
    void setAsVariant(const QVariant& value);
    QVariant Value() const { return AsVariant(); }
    void setValue(const QVariant& value) { setAsVariant(value); }
    // Numbers as text use the decimal separator of QLocale::system(). Setting
    // "" clears a non-string field; text that is not a number raises
    // EDatabaseError "'%s' is not a valid floating point value for field '%s'"
    // (or "... integer value ...") with the text and DisplayName.
    QString AsString() const;
    void setAsString(const QString& text);
    qint32 AsInteger() const;  // null reads as 0; a float is rounded
    void setAsInteger(qint32 value);
    double AsFloat() const;  // null reads as 0
    void setAsFloat(double value);
    bool AsBoolean() const;
    void setAsBoolean(bool value);
    QDate AsDate() const;
    void setAsDate(const QDate& value);
    // The value as shown: DisplayFormat applied to numbers; "" for null.
    QString DisplayText() const;
    // The value as edited: numbers in general form.
    QString Text() const { return AsString(); }

    // Runs before a new value is stored; the field already reads the new
    // value inside the handler. Throwing refuses the value (the field keeps
    // its previous one). Called with the field itself.
    EventListeners<TField&> OnValidate;
    // Runs after a value was stored.
    EventListeners<TField&> OnChange;

protected:
    TField(TApolloTable* dataSet, const QString& fieldName, TFieldType type, int size);

    // Converts a value given through any As... setter into this field's kind;
    // throws EDatabaseError when it cannot.
    virtual QVariant convertIn(const QVariant& value) const = 0;
    virtual QString textOf(const QVariant& value) const;

private:
    friend class TApolloTable;
    friend class emlo::FieldList;
    void store(const QVariant& converted);

    TApolloTable* m_dataSet;
    QString m_fieldName;
    TFieldType m_dataType;
    int m_size;
    TFieldKind m_fieldKind = fkData;
    QString m_displayLabel;
    int m_displayWidth = 0;
    QString m_displayFormat;
    bool m_visible = true;
    bool m_readOnly = false;
    bool m_required = false;
    TApolloTable* m_lookupDataSet = nullptr;
    QString m_lookupKeyFields;
    QString m_lookupResultField;
    QString m_keyFields;
    int m_fieldNo = 0;      // set by the table when it binds the field to the file
    int m_valueIndex = -1;  // slot in the table's record buffer
};

// Text of at most Size characters; longer text is cut to Size. A character
// that Windows-1251 cannot hold is refused with EDatabaseError.
class TStringField : public TField {
public:
    TStringField(TApolloTable* dataSet, const QString& fieldName, int size);
    QString ClassName() const override { return QStringLiteral("TStringField"); }

protected:
    QVariant convertIn(const QVariant& value) const override;
};

class TIntegerField : public TField {
public:
    TIntegerField(TApolloTable* dataSet, const QString& fieldName);
    QString ClassName() const override { return QStringLiteral("TIntegerField"); }

protected:
    TIntegerField(TApolloTable* dataSet, const QString& fieldName, TFieldType type);
    QVariant convertIn(const QVariant& value) const override;
    virtual qint64 minValue() const;
    virtual qint64 maxValue() const;
};

// 16-bit signed integer: N fields without decimals, at most 4 characters wide.
class TSmallintField : public TIntegerField {
public:
    TSmallintField(TApolloTable* dataSet, const QString& fieldName);
    QString ClassName() const override { return QStringLiteral("TSmallintField"); }

protected:
    qint64 minValue() const override;
    qint64 maxValue() const override;
};

// 64-bit floating point: N fields with decimals or wider than 4 characters.
class TFloatField : public TField {
public:
    TFloatField(TApolloTable* dataSet, const QString& fieldName);
    QString ClassName() const override { return QStringLiteral("TFloatField"); }

protected:
    QVariant convertIn(const QVariant& value) const override;
    QString textOf(const QVariant& value) const override;
};

class TBooleanField : public TField {
public:
    TBooleanField(TApolloTable* dataSet, const QString& fieldName);
    QString ClassName() const override { return QStringLiteral("TBooleanField"); }

protected:
    QVariant convertIn(const QVariant& value) const override;
    QString textOf(const QVariant& value) const override;
};

class TDateField : public TField {
public:
    TDateField(TApolloTable* dataSet, const QString& fieldName);
    QString ClassName() const override { return QStringLiteral("TDateField"); }

protected:
    QVariant convertIn(const QVariant& value) const override;
    QString textOf(const QVariant& value) const override;
};

}  // namespace emlo
