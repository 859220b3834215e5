#include "importer.h"

#include <map>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "registrydb.h"
#include "submissionvalidator.h"

namespace emlo::registry {

QList<TSubmissionFiles> FindSubmissions(const QStringList& paths, QStringList* missing)
{
    QList<TSubmissionFiles> result;
    for (const QString& path : paths) {
        const QFileInfo root(path);
        if (!root.isDir()) {
            missing->append(path);
            continue;
        }
        std::map<QString, TSubmissionFiles> byFolder;  // sorted, so runs are repeatable
        QDirIterator it(root.absoluteFilePath(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const QFileInfo file = it.fileInfo();
            const QString name = file.fileName().toLower();
            const bool isAttr = name == QLatin1String("attr.xml");
            if (!isAttr && name != QLatin1String("data.xml"))
                continue;
            TSubmissionFiles& entry = byFolder[file.absolutePath()];
            entry.Folder = file.absolutePath();
            QString& slot = isAttr ? entry.AttrPath : entry.DataPath;
            // Two spellings of one name in one folder: which one was meant is
            // unknown, so the folder is refused rather than guessed at.
            slot = slot.isEmpty() ? file.absoluteFilePath() : QStringLiteral("?");
        }
        for (auto& [folder, files] : byFolder)
            result.append(files);
    }
    return result;
}

TImporter::TImporter(TRegistryDb& db, const TReferenceSets& reference, TReaderLimits limits)
    : m_db(db), m_reference(reference), m_limits(limits)
{
}

namespace {

QString checkPair(const TSubmissionFiles& files)
{
    for (const QString& path : {files.AttrPath, files.DataPath}) {
        if (path == QLatin1String("?"))
            return QStringLiteral("у папці кілька файлів з однаковою назвою, що різняться лише регістром літер");
    }
    if (files.AttrPath.isEmpty())
        return QStringLiteral("немає файлу attr.xml");
    if (files.DataPath.isEmpty())
        return QStringLiteral("немає файлу data.xml");
    return QString();
}

}  // namespace

bool TImporter::Run(const QList<TSubmissionFiles>& found, int year, TImportCounts* counts, QString* error)
{
    const TSubmissionReader reader(m_limits);
    const TSubmissionValidator validator(m_reference);
    TSubmission submission;
    for (const TSubmissionFiles& files : found) {
        TRejectionList reasons;
        const QString pairProblem = checkPair(files);
        if (!pairProblem.isEmpty()) {
            reasons.append(TRejection{QString(), 0, 0, QString(), pairProblem});
        } else if (reader.Read(files.AttrPath, files.DataPath, &submission, &reasons)) {
            validator.Validate(submission, QFileInfo(files.AttrPath).fileName(), QFileInfo(files.DataPath).fileName(),
                               &reasons);
        }
        if (reasons.isEmpty()) {
            TStoreOutcome outcome = TStoreOutcome::Added;
            if (!m_db.Store(submission, year, files.Folder, &outcome, error)) {
                *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(files.Folder), *error);
                return false;
            }
            switch (outcome) {
            case TStoreOutcome::Added: ++counts->Added; break;
            case TStoreOutcome::Replaced: ++counts->Replaced; break;
            case TStoreOutcome::Unchanged: ++counts->Unchanged; break;
            }
            if (outcome != TStoreOutcome::Unchanged)
                counts->Rows += submission.Rows.size();
        } else {
            ++counts->Rejected;
            if (OnRejected)
                OnRejected(files.Folder, reasons);
        }
        ++counts->Done;
        if (OnProgress)
            OnProgress(*counts, int(found.size()));
    }
    return true;
}

}  // namespace emlo::registry
