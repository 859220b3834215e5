#pragma once

#include <functional>

#include <QList>
#include <QString>
#include <QStringList>

#include "submission.h"
#include "submissionreader.h"

namespace emlo::registry {

class RegistryDb;
struct ReferenceSets;

// The two files of one submission, found in one folder.
struct SubmissionFiles {
    QString Folder;
    QString AttrName;  // as spelt on disk; empty when the folder has none, "?" when it has two
    QString DataName;
    QString AttrPath() const { return Folder + QLatin1Char('/') + AttrName; }
    QString DataPath() const { return Folder + QLatin1Char('/') + DataName; }
};

// Finds every folder at any depth below the paths that holds attr.xml or
// data.xml (letter case ignored), in path order. Symbolic links to folders
// are not followed. A path that is not a folder is listed in missing.
QList<SubmissionFiles> FindSubmissions(const QStringList& paths, QStringList* missing);

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
// in a second thread while the ones before are stored. A rejected submission
// is reported and skipped; a database failure ends the run, and the counts
// then hold only what was committed. Callbacks come from the calling thread.
class Importer {
public:
    Importer(RegistryDb& db, const ReferenceSets& reference, ReaderLimits limits = {});

    // Called after every submission with the counts so far.
    std::function<void(const ImportCounts&, int total)> OnProgress;
    // Called for every rejected submission with its folder and reasons.
    std::function<void(const QString& folder, const RejectionList&)> OnRejected;

    // False when the database failed (error set); rejections do not fail.
    bool Run(const QList<SubmissionFiles>& found, int year, ImportCounts* counts, QString* error);

private:
    RegistryDb& m_db;
    const ReferenceSets& m_reference;
    ReaderLimits m_limits;
};

}  // namespace emlo::registry
