#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include <QList>
#include <QString>
#include <QStringList>

namespace emlo::registry {

// The two files of one submission, found in one folder.
struct SubmissionFiles {
    QString Folder;
    QString AttrName;  // as spelt on disk; empty when the folder has none, "?" when it has two
    QString DataName;
    QString AttrPath() const { return Folder + QLatin1Char('/') + AttrName; }
    QString DataPath() const { return Folder + QLatin1Char('/') + DataName; }
};

// Finds every folder at any depth below the paths that holds attr.xml or
// data.xml (letter case ignored), for each path in the order of the
// folders' absolute paths. Symbolic links to folders are not followed. A
// path that is not a folder is listed in missing.
QList<SubmissionFiles> FindSubmissions(const QStringList& paths, QStringList* missing);

// FindSubmissions in a thread of its own, handing out each submission as
// soon as it is found, in the same order: an import stores the first ones
// while the folders of the later ones are still being read.
class SubmissionScan {
public:
    // The paths are folders (see FindSubmissions for the others).
    explicit SubmissionScan(const QStringList& folders);
    // Submissions found already: the scan is complete at once.
    explicit SubmissionScan(QList<SubmissionFiles> found);
    ~SubmissionScan();
    SubmissionScan(const SubmissionScan&) = delete;
    SubmissionScan& operator=(const SubmissionScan&) = delete;

    // The index-th submission, once the scan has found it; false when the
    // scan ended with fewer. Any thread may ask.
    bool At(qsizetype index, SubmissionFiles* files);
    // How many submissions there are, once the scan is complete; -1 before.
    qsizetype Total() const;
    // How many submissions there are, waiting for the scan to complete.
    qsizetype WaitForTotal();

private:
    // Adds a found submission; false once the scan is asked to stop.
    bool add(SubmissionFiles&& files);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QList<SubmissionFiles> m_found;
    bool m_complete = false;
    bool m_stop = false;  // the scan is no longer wanted
    std::thread m_thread;
};

}  // namespace emlo::registry
