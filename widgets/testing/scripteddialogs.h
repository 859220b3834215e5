#pragma once

#include <functional>

#include <QList>
#include <QQueue>
#include <QString>

#include "widgets/dialogseam.h"

namespace emlo::testing {

// Answers the program's modal boxes in tests and records what was asked.
// Installed for its lifetime. A question (a box offering more than OK and
// Help) or a folder dialog with no queued answer fails the running test at
// once and is answered with Cancel; a plain message with no queued answer is
// answered OK, and still recorded for the test to check.
class ScriptedDialogs : public DialogResponder {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void queueAnswer(MsgAnswer answer) { m_answers.enqueue(answer); }
    void queueFolder(bool accepted, const QString& folder = {}) { m_folders.enqueue(FolderAnswer{accepted, folder}); }

    const QList<MessageRequest>& messages() const { return m_messages; }
    // Texts of the recorded messages, in order.
    QStringList texts() const;
    // The names the folder dialog was opened with, in order.
    const QStringList& folderRequests() const { return m_folderRequests; }
    int pendingAnswers() const { return int(m_answers.size()); }
    int pendingFolders() const { return int(m_folders.size()); }
    void clear();

    // Runs before each message is answered, e.g. to look at the program's
    // state while the box would be open.
    std::function<void(const MessageRequest&)> onMessage;

    // Leaves the folder dialog to the real window, for tests that drive it.
    void letFolderDialogOpen(bool open) { m_realFolderDialog = open; }

    MsgAnswer answerMessage(const MessageRequest& request) override;
    FolderAnswer answerFolder(const QString& initialFolder) override;
    bool answersFolders() const override { return !m_realFolderDialog; }

private:
    DialogResponder* m_previous;
    QQueue<MsgAnswer> m_answers;
    QQueue<FolderAnswer> m_folders;
    QList<MessageRequest> m_messages;
    QStringList m_folderRequests;
    bool m_realFolderDialog = false;
};

}  // namespace emlo::testing
