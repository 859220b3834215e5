#include "importer.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <QDir>

#include "registrydb.h"
#include "submissionvalidator.h"

namespace emlo::registry {

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
    SubmissionFiles Files;
    SubmissionData Submission;
    RejectionList Reasons;
};

// Reads and checks the submissions the scan finds in worker threads while
// the caller stores the ones before, and hands them out in their order.
// Reading and checking cost several times what storing does, so there are
// as many workers as cores (at least one, at most four). At most `capacity`
// submissions are read ahead, so memory does not grow with their number.
class Preparer {
public:
    Preparer(SubmissionScan& scan, const ReaderLimits& limits, const ReferenceSets& reference)
        : m_scan(scan), m_reader(limits), m_validator(reference)
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
        m_forWorkers.notify_all();
        for (std::thread& worker : m_workers)
            worker.join();
    }

    // The next submission in the order found; false after the last.
    bool Next(Prepared* next)
    {
        std::unique_lock lock(m_mutex);
        m_writerWaits = true;
        m_forWriter.wait(lock, [this] { return m_ready.count(m_next) != 0 || (m_end >= 0 && m_next >= m_end); });
        m_writerWaits = false;
        const auto at = m_ready.find(m_next);
        if (at == m_ready.end())
            return false;
        *next = std::move(at->second);
        m_ready.erase(at);
        ++m_next;
        const bool wake = m_idleWorkers > 0;
        lock.unlock();
        // Each call to the system to wake a thread costs about as much as
        // reading a small file: none is made for a thread that is not waiting.
        if (wake)
            m_forWorkers.notify_one();
        return true;
    }

private:
    static constexpr qsizetype capacity = 32;

    void run()
    {
        for (;;) {
            std::unique_lock lock(m_mutex);
            ++m_idleWorkers;
            m_forWorkers.wait(lock, [this] { return m_stop || m_claimed < m_next + capacity; });
            --m_idleWorkers;
            if (m_stop || (m_end >= 0 && m_claimed >= m_end))
                return;
            const qsizetype index = m_claimed++;
            lock.unlock();

            Prepared item;
            if (!m_scan.At(index, &item.Files)) {
                lock.lock();
                if (m_end < 0 || index < m_end)
                    m_end = index;
                const bool wake = m_writerWaits;
                lock.unlock();
                if (wake)
                    m_forWriter.notify_one();
                return;
            }
            const SubmissionFiles& files = item.Files;
            const QString pairProblem = checkPair(files);
            if (!pairProblem.isEmpty()) {
                item.Reasons.append(Rejection{QString(), 0, 0, QString(), pairProblem});
            } else if (m_reader.Read(files.AttrPath(), files.DataPath(), &item.Submission, &item.Reasons)) {
                m_validator.Validate(item.Submission, files.AttrName, files.DataName, &item.Reasons);
            }

            lock.lock();
            m_ready.emplace(index, std::move(item));
            const bool wake = m_writerWaits && index == m_next;
            lock.unlock();
            if (wake)
                m_forWriter.notify_one();
        }
    }

    SubmissionScan& m_scan;
    const SubmissionReader m_reader;
    const SubmissionValidator m_validator;
    std::mutex m_mutex;
    std::condition_variable m_forWriter;   // the next submission is ready, or there is none
    std::condition_variable m_forWorkers;  // room to read ahead, or stop
    bool m_writerWaits = false;
    int m_idleWorkers = 0;
    std::map<qsizetype, Prepared> m_ready;  // read ahead, by position in the scan
    qsizetype m_next = 0;                   // the position Next hands out
    qsizetype m_claimed = 0;                // positions taken by a worker so far
    qsizetype m_end = -1;                   // the number of submissions, once a worker met the end
    bool m_stop = false;
    std::vector<std::thread> m_workers;  // last: start when the rest is ready
};

}  // namespace

bool Importer::Run(const QList<SubmissionFiles>& found, int year, ImportCounts* counts, QString* error)
{
    SubmissionScan scan(found);
    return Run(scan, year, counts, error);
}

bool Importer::Run(SubmissionScan& scan, int year, ImportCounts* counts, QString* error)
{
    Preparer preparer(scan, m_limits, m_reference);
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
    bool toldTotal = false;
    Prepared prepared;
    while (preparer.Next(&prepared)) {
        const SubmissionFiles& files = prepared.Files;
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
        const qsizetype total = scan.Total();
        toldTotal = total >= 0;
        if (OnProgress)
            OnProgress(*counts, int(total));
    }
    if (!m_db.Flush(error)) {
        dropUncommitted();
        return false;
    }
    // The scan may have ended after the last submission was told.
    if (OnProgress && !toldTotal)
        OnProgress(*counts, int(scan.WaitForTotal()));
    return true;
}

}  // namespace emlo::registry
