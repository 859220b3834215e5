#include "datacheck.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include "checkrules.h"
#include "store/apollotable.h"
#include "store/datamodule.h"
#include "store/errors.h"
#include "store/fields.h"

namespace emlo {

namespace {

const char kTotalsLocked[] = "Групові підсумки викидів не оновлено: таблицю викидів заблокувала інша програма "
                             "або інша перевірка (%1). Повторіть перевірку пізніше.";

// An amount without a value counts as 0 in the sums.
double amountOf(const TField* field)
{
    return field->IsNull() ? 0.0 : field->AsFloat();
}

}  // namespace

bool FieldIsEmpty(const TField* field)
{
    return field == nullptr || field->IsNull() || TextIsEmpty(field->AsString());
}

const QList<GroupTotalRow>& GroupTotals()
{
    static const QList<GroupTotalRow> groups = {
        {"CONTID > 0 .and. CONTID < 12", nullptr, 132, "CONTID = 132"},
        {"CONTID > 11 .and. CONTID < 18", nullptr, 133, "CONTID = 133"},
        {"CONTID = 21 .or. CONTID = 22 .or. CONTID = 134", "CONTID = 19 .or. CONTID = 20", 18, "CONTID = 18"},
        {"CONTID = 30 .or. CONTID = 31", nullptr, 135, "CONTID = 135"},
        {"(CONTID > 34 .and. CONTID < 40) .or. (CONTID = 136)", nullptr, 34, "CONTID = 34"},
        {"(CONTID > 40 .and. CONTID < 64) .or. (CONTID > 64 .and. CONTID < 78) .or. "
         "(CONTID > 78 .and. CONTID < 94) .or. (CONTID = 137)",
         nullptr, 40, "CONTID = 40"},
        {"(CONTID > 95 .and. CONTID < 116) .or. (CONTID = 138)", nullptr, 95, "CONTID = 95"},
    };
    return groups;
}

bool IsGroupTotalId(qint32 contId)
{
    for (const GroupTotalRow& group : GroupTotals()) {
        if (group.TotalId == contId)
            return true;
    }
    return false;
}

DataCheck::DataCheck(TApolloTable& tblAttr, TApolloTable& tblData) : m_tblAttr(tblAttr), m_tblData(tblData) { }

RemarkList DataCheck::CollectRemarks()
{
    RemarkList rows;
    CollectRemarks(rows);
    return rows;
}

void DataCheck::CollectRemarks(RemarkList& rows)
{
    rows.clear();
    checkAttributes(rows);

    // Settle a pending emission edit before remembering the place: a new
    // record has no number until it is posted, and it is the record the
    // user was on.
    m_tblData.CheckBrowseMode();
    const TBookmark saved = m_tblData.Bookmark();
    checkEmissionFields(rows);
    checkRepeatedPollutants(rows);
    if (saved != 0)
        m_tblData.setBookmark(saved);

    if (rows.isEmpty())
        rows.append(AllClearRemark());
}

bool DataCheck::IsAllClear(const RemarkList& rows)
{
    return rows.size() == 1 && rows.constFirst().Data.Section == SectionAllClear;
}

bool DataCheck::CheckData(RemarkList* rows)
{
    RemarkList found;
    CollectRemarks(rows != nullptr ? *rows : found);
    // Group totals are kept only after a clean check.
    const bool clean = IsAllClear(rows != nullptr ? *rows : found);
    if (clean)
        CalcGroupTotals();
    return clean;
}

bool CheckBeforeOutput(TDataModule& dataModule, RemarkList& rows)
{
    rows.clear();
    dataModule.PostPendingAttr();
    return DataCheck(*dataModule.tblAttr, *dataModule.tblData).CheckData(&rows);
}

void DataCheck::checkAttributes(RemarkList& rows)
{
    CheckAttrRecord([this](const QString& field) { return FieldIsEmpty(m_tblAttr.FieldByName(field)); }, rows);
}

void DataCheck::checkEmissionFields(RemarkList& rows)
{
    const TField* contId = m_tblData.FieldByName(QStringLiteral("CONTID"));
    const TField* poten = m_tblData.FieldByName(QStringLiteral("POTEN"));
    const TField* fact = m_tblData.FieldByName(QStringLiteral("FACT"));
    m_tblData.First();
    while (!m_tblData.Eof()) {
        CheckEmissionRecord(FieldIsEmpty(contId), FieldIsEmpty(poten), FieldIsEmpty(fact), m_tblData.RecNo(), rows);
        m_tblData.Next();
    }
}

void DataCheck::checkRepeatedPollutants(RemarkList& rows)
{
    const TField* contId = m_tblData.FieldByName(QStringLiteral("CONTID"));
    RepeatedPollutantRule rule;
    m_tblData.First();
    while (!m_tblData.Eof()) {
        if (!contId->IsNull())
            rule.Check(contId->AsInteger(), m_tblData.RecNo(), rows);
        m_tblData.Next();
    }
}

void DataCheck::lockEmissionTable()
{
    QElapsedTimer waited;
    waited.start();
    while (!m_tblData.Flock()) {
        if (waited.elapsed() >= m_lockWaitMs) {
            throw EApolloError(QString::fromUtf8(kTotalsLocked).arg(QDir::toNativeSeparators(m_tblData.FilePath())));
        }
        QThread::msleep(20);
    }
}

void DataCheck::storeTotal(const GroupTotalRow& group, double potenSum, double factSum)
{
    TField* contId = m_tblData.FieldByName(QStringLiteral("CONTID"));
    TField* poten = m_tblData.FieldByName(QStringLiteral("POTEN"));
    TField* fact = m_tblData.FieldByName(QStringLiteral("FACT"));
    m_tblData.Query(QString::fromLatin1(group.TotalQuery));
    // Exactly zero, no tolerance: a total of 1e-9 is still kept.
    const bool bothZero = potenSum == 0.0 && factSum == 0.0;
    if (m_tblData.Bof() && m_tblData.Eof()) {
        if (!bothZero) {
            m_tblData.Insert();
            contId->setAsInteger(group.TotalId);
            poten->setAsFloat(potenSum);
            fact->setAsFloat(factSum);
            m_tblData.Post();
        }
    } else if (bothZero) {
        m_tblData.Delete();
    } else if (!m_tblData.StoresAs(poten, potenSum) || !m_tblData.StoresAs(fact, factSum)) {
        // A total that is already right is left alone: nothing to write, and
        // so also nothing to refuse in a folder that cannot be written.
        m_tblData.Edit();
        poten->setAsFloat(potenSum);
        fact->setAsFloat(factSum);
        m_tblData.Post();
    }
}

void DataCheck::CalcGroupTotals()
{
    const TField* poten = m_tblData.FieldByName(QStringLiteral("POTEN"));
    const TField* fact = m_tblData.FieldByName(QStringLiteral("FACT"));
    m_tblData.CheckBrowseMode();
    const TBookmark saved = m_tblData.Bookmark();

    // Two checks at once (two windows, a window and emlo-cli) would each find
    // a total missing and each add it: the pass looks for the totals and
    // stores them under the table's file lock, which also keeps other
    // programs from changing the amounts being summed.
    lockEmissionTable();

    const auto restore = [this, saved] {
        m_tblData.Query(QString());
        m_tblData.Unlock(0);
        if (saved != 0)
            m_tblData.setBookmark(saved);
    };

    try {
        for (const GroupTotalRow& group : GroupTotals()) {
            double potenSum = 0.0;
            double factSum = 0.0;

            m_tblData.Query(QString::fromLatin1(group.Added));
            m_tblData.First();
            while (!m_tblData.Eof()) {
                potenSum = potenSum + amountOf(poten);
                factSum = factSum + amountOf(fact);
                m_tblData.Next();
            }
            if (group.Subtracted != nullptr) {
                m_tblData.Query(QString::fromLatin1(group.Subtracted));
                m_tblData.First();
                while (!m_tblData.Eof()) {
                    potenSum = potenSum - amountOf(poten);
                    factSum = factSum - amountOf(fact);
                    m_tblData.Next();
                }
            }
            storeTotal(group, potenSum, factSum);
        }
    } catch (...) {
        // A total that could not be stored is given up rather than left
        // pending, so that the return to the remembered record does not try
        // to post it again.
        try {
            if (m_tblData.State() == dsEdit || m_tblData.State() == dsInsert)
                m_tblData.Cancel();
            restore();
        } catch (...) {
        }
        throw;
    }
    restore();
}

}  // namespace emlo
