#include "scripteddialogs.h"

#include <QTest>

namespace emlo::testing {

ScriptedDialogs::ScriptedDialogs() : m_previous(DialogSeam::responder())
{
    DialogSeam::setResponder(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    DialogSeam::setResponder(m_previous);
}

QStringList ScriptedDialogs::texts() const
{
    QStringList result;
    for (const MessageRequest& m : m_messages)
        result.append(m.text);
    return result;
}

void ScriptedDialogs::clear()
{
    m_answers.clear();
    m_folders.clear();
    m_messages.clear();
    m_folderRequests.clear();
}

MsgAnswer ScriptedDialogs::answerMessage(const MessageRequest& request)
{
    m_messages.append(request);
    if (onMessage)
        onMessage(request);
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    const MsgButtons question = MsgButton::Yes | MsgButton::No | MsgButton::Cancel;
    if (request.buttons & question) {
        const QByteArray text = request.text.toUtf8();
        QTest::qFail(("unexpected question: " + text).constData(), __FILE__, __LINE__);
        return MsgAnswer::Cancel;
    }
    return MsgAnswer::Ok;
}

FolderAnswer ScriptedDialogs::answerFolder(const QString& initialFolder)
{
    m_folderRequests.append(initialFolder);
    if (!m_folders.isEmpty())
        return m_folders.dequeue();
    QTest::qFail("unexpected folder dialog", __FILE__, __LINE__);
    return {};
}

}  // namespace emlo::testing
