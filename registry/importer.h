#pragma once

#include <functional>

#include <QList>
#include <QString>
#include <QStringList>

#include "submission.h"
#include "submissionreader.h"
#include "submissionscan.h"

namespace emlo::registry {

class RegistryDb;
struct ReferenceSets;

struct ImportCounts {
    int Done = 0;
    int Added = 0;
    int Replaced = 0;
    int Unchanged = 0;
    int Rejected = 0;
    qint64 Rows = 0;  // emission rows stored
    int Accepted() const { return Added + Replaced + Unchanged; }
};

// Imports found submissions in their order, each all or nothing (its own
// transaction, or on SQLite a savepoint of a group commit): read and checked
// in other threads while the ones before are stored. A rejected submission
// is reported and skipped; a database failure ends the run, and the counts
// then hold only what was committed. Callbacks come from the calling thread.
class Importer {
public:
    Importer(RegistryDb& db, const ReferenceSets& reference, ReaderLimits limits = {});

    // Called after every submission with the counts so far, and once more
    // at the end. total: how many submissions there are, -1 while the scan
    // is still looking for them.
    std::function<void(const ImportCounts&, int total)> OnProgress;
    // Called for every rejected submission with its folder and reasons.
    std::function<void(const QString& folder, const RejectionList&)> OnRejected;

    // False when the database failed (error set); rejections do not fail.
    bool Run(SubmissionScan& scan, int year, ImportCounts* counts, QString* error);
    bool Run(const QList<SubmissionFiles>& found, int year, ImportCounts* counts, QString* error);

private:
    RegistryDb& m_db;
    const ReferenceSets& m_reference;
    ReaderLimits m_limits;
};

}  // namespace emlo::registry
