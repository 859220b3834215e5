#pragma once

#include <memory>

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include "store/datasource.h"

namespace emlo {

// The entries of a reference list as the look-up controls see them: the
// visible records of the list table in its current order, with the texts of
// their fields, read in one walk through the table at their first use after
// the set of visible records changes (a query, an index, reopening). The table's
// current record is the list's current entry; the controls move it.
//
// One list is shared by every control over the same data source, so the two
// settlement boxes read the 30,000 settlements once.
class LookupList : public QObject, public TDataLink {
    Q_OBJECT
public:
    // The shared list of a source; created on first use, dropped with its last user.
    static std::shared_ptr<LookupList> ForSource(TDataSource* source);

    explicit LookupList(TDataSource* source);
    ~LookupList() override;

    TApolloTable* Table() const { return DataSet(); }
    int Count();
    qint32 RecNoAt(int row);
    // Text of a field in that row: strings as stored (trimmed of trailing
    // blanks), numbers in general form. "" outside the list.
    QString Text(int row, const QString& fieldName);
    // First row whose text of fieldName begins with prefix, without regard
    // to letter case; -1 when none. An empty prefix gives -1.
    int FindPrefix(const QString& fieldName, const QString& prefix);
    // First row whose value of fieldName equals key: text compared without
    // trailing blanks; a number key, or a text that reads as one, matches a
    // field text of the same number ("0110136300" and 110136300). -1 when none.
    int FindKey(const QString& fieldName, const QVariant& key);
    // The row of the table's current record; -1 when it has none.
    int CurrentRow();
    // Makes the row's record the table's current record.
    void MoveTo(int row);

signals:
    // The set of entries changed: rows must be read again.
    void contentChanged();
    // The table's current record moved.
    void currentChanged();

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void RecordChanged(TField* field) override;

private:
    struct Column {
        QVector<QString> text;
        QVector<QString> folded;  // case-folded, for the prefix search
        QVector<double> number;   // the text read as a number (NaN when it is none), made on demand
    };
    struct Signature {
        bool active = false;
        QString file;
        QString index;
        QString query;
        qint32 count = -1;
        bool operator==(const Signature&) const = default;
    };

    Signature currentSignature() const;
    void tableChanged();
    bool refresh();  // true when the entries changed
    void read();
    Column& column(const QString& fieldName);

    Signature m_signature;
    QVector<qint32> m_recNos;
    QHash<qint32, int> m_rowOfRecNo;
    QHash<QString, Column> m_columns;  // by upper-case field name
    bool m_stale = true;
    bool m_reading = false;
};

}  // namespace emlo
