#include "importer.h"

#include <condition_variable>
#include <algorithm>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "registrydb.h"
#include "submissionvalidator.h"

namespace emlo::registry {

QList<SubmissionFiles> FindSubmissions(const QStringList& paths, QStringList* missing)
{
    QList<SubmissionFiles> result;
    for (const QString& path : paths) {
        const QFileInfo root(path);
        if (!root.isDir()) {
            missing->append(path);
            continue;
        }
        std::map<QString, SubmissionFiles> byFolder;  // sorted, so runs are repeatable
        QDirIterator it(root.absoluteFilePath(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const QFileInfo file = it.fileInfo();
            const QString name = file.fileName().toLower();
            const bool isAttr = name == QLatin1String("attr.xml");
            if (!isAttr && name != QLatin1String("data.xml"))
                continue;
            // The list lasts the whole run: the folder text is kept once, and
            // the usual spellings of the names are shared by every entry.
            const auto [at, added] = byFolder.try_emplace(file.absolutePath());
            SubmissionFiles& entry = at->second;
            if (added)
                entry.Folder = at->first;
            static const QString usualAttr = QStringLiteral("attr.xml");
            static const QString usualData = QStringLiteral("data.xml");
            const QString& usual = isAttr ? usualAttr : usualData;
            QString& slot = isAttr ? entry.AttrName : entry.DataName;
            // Two spellings of one name in one folder: which one was meant is
            // unknown, so the folder is refused rather than guessed at.
            slot = !slot.isEmpty() ? QStringLiteral("?") : file.fileName() == usual ? usual : file.fileName();
        }
        for (auto& [folder, files] : byFolder)
            result.append(files);
    }
    return result;
}

Importer::Importer(RegistryDb& db, const ReferenceSets& reference, ReaderLimits limits)
    : m_db(db), m_reference(reference), m_limits(limits)
{
}

namespace {

QString checkPair(const SubmissionFiles& files)
{
    for (const QString& name : {files.AttrName, files.DataName}) {
        if (name == QLatin1String("?"))
            return QStringLiteral("у папці кілька файлів з однаковою назвою, що різняться лише регістром літер");
    }
    if (files.AttrName.isEmpty())
        return QStringLiteral("немає файлу attr.xml");
    if (files.DataName.isEmpty())
        return QStringLiteral("немає файлу data.xml");
    return QString();
}

}  // namespace

namespace {

// One submission read and checked, waiting to be stored.
struct Prepared {
    SubmissionData Submission;
    RejectionList Reasons;
};

// Reads and checks the found submissions in worker threads while the caller
// stores the ones before, and hands them out in their order. Reading and
// checking cost several times what storing does, so there are as many
// workers as cores (at least one, at most four). At most `capacity`
// submissions are read ahead, so memory does not grow with their number.
class Preparer {
public:
    Preparer(const QList<SubmissionFiles>& found, const ReaderLimits& limits, const ReferenceSets& reference)
        : m_found(found), m_reader(limits), m_validator(reference)
    {
        const unsigned cores = std::thread::hardware_concurrency();
        const unsigned workers = std::clamp(cores, 1u, 4u);
        for (unsigned i = 0; i < workers; ++i)
            m_workers.emplace_back([this] { run(); });
    }
    ~Preparer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& worker : m_workers)
            worker.join();
    }

    // The next submission in the order found.
    Prepared Next()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_ready.count(m_next) != 0; });
        const auto at = m_ready.find(m_next);
        Prepared next = std::move(at->second);
        m_ready.erase(at);
        ++m_next;
        lock.unlock();
        m_changed.notify_all();
        return next;
    }

private:
    static constexpr qsizetype capacity = 32;

    void run()
    {
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_claimed < m_next + capacity; });
            if (m_stop || m_claimed >= m_found.size())
                return;
            const qsizetype index = m_claimed++;
            lock.unlock();

            const SubmissionFiles& files = m_found.at(index);
            Prepared item;
            const QString pairProblem = checkPair(files);
            if (!pairProblem.isEmpty()) {
                item.Reasons.append(Rejection{QString(), 0, 0, QString(), pairProblem});
            } else if (m_reader.Read(files.AttrPath(), files.DataPath(), &item.Submission, &item.Reasons)) {
                m_validator.Validate(item.Submission, files.AttrName, files.DataName, &item.Reasons);
            }

            lock.lock();
            m_ready.emplace(index, std::move(item));
            lock.unlock();
            m_changed.notify_all();
        }
    }

    const QList<SubmissionFiles>& m_found;
    const SubmissionReader m_reader;
    const SubmissionValidator m_validator;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<qsizetype, Prepared> m_ready;  // read ahead, by position in m_found
    qsizetype m_next = 0;                   // the position Next hands out
    qsizetype m_claimed = 0;                // positions taken by a worker so far
    bool m_stop = false;
    std::vector<std::thread> m_workers;  // last: start when the rest is ready
};

}  // namespace

bool Importer::Run(const QList<SubmissionFiles>& found, int year, ImportCounts* counts, QString* error)
{
    Preparer preparer(found, m_limits, m_reference);
    m_db.SetGroupCommit(true);
    // Stores of a group not yet committed are counted only once it is.
    ImportCounts committed = *counts;
    const auto dropUncommitted = [&] {
        counts->Done -= counts->Accepted() - committed.Accepted();
        counts->Added = committed.Added;
        counts->Replaced = committed.Replaced;
        counts->Unchanged = committed.Unchanged;
        counts->Rows = committed.Rows;
    };
    for (const SubmissionFiles& files : found) {
        const Prepared prepared = preparer.Next();
        if (prepared.Reasons.isEmpty()) {
            StoreOutcome outcome = StoreOutcome::Added;
            if (!m_db.Store(prepared.Submission, year, files.Folder, &outcome, error)) {
                *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(files.Folder), *error);
                // What was stored before stays stored: on disk before the failure is told.
                QString ignored;
                if (!m_db.Flush(&ignored))
                    dropUncommitted();
                return false;
            }
            switch (outcome) {
            case StoreOutcome::Added: ++counts->Added; break;
            case StoreOutcome::Replaced: ++counts->Replaced; break;
            case StoreOutcome::Unchanged: ++counts->Unchanged; break;
            }
            if (outcome != StoreOutcome::Unchanged)
                counts->Rows += prepared.Submission.Rows.size();
        } else {
            ++counts->Rejected;
            if (OnRejected)
                OnRejected(files.Folder, prepared.Reasons);
        }
        ++counts->Done;
        if (m_db.GroupDue() && !m_db.CommitGroup(error)) {
            dropUncommitted();
            return false;
        }
        if (!m_db.GroupOpen())
            committed = *counts;
        if (OnProgress)
            OnProgress(*counts, int(found.size()));
    }
    if (!m_db.Flush(error)) {
        dropUncommitted();
        return false;
    }
    return true;
}

}  // namespace emlo::registry
