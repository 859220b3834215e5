#pragma once

#include <QDialog>

#include "dialogseam.h"

class QPushButton;

namespace emlo {

// The program's message box: the kind's title and icon, the text, and the
// buttons asked for with their Ukrainian captions. "Допомога" opens the
// message's help topic and leaves the box open. Code never builds one
// directly: it asks through DialogSeam (or the helpers below).
class MessageBox : public QDialog {
    Q_OBJECT
public:
    explicit MessageBox(const MessageRequest& request, QWidget* parent = nullptr);

    // Runs the box modally and returns the button that closed it.
    MsgAnswer run();
    // The answer given so far (also for a box shown without run()).
    MsgAnswer answer() const { return m_answer; }
    QPushButton* button(MsgButton which) const;

    static QString buttonCaption(MsgButton which);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void finishWith(MsgAnswer answer);
    MsgAnswer escapeAnswer() const;

    MessageRequest m_request;
    MsgAnswer m_answer;
};

// Icon of a message kind, drawn for the program.
QIcon msgKindIcon(MsgKind kind);

// Shorthands over DialogSeam::ask.
MsgAnswer messageDlg(const QString& text, MsgKind kind, MsgButtons buttons, int helpTopic = 0,
                     QWidget* parent = nullptr);
// An error box with OK and Help, as commands report their failures.
void showErrorMessage(const QString& text, int helpTopic, QWidget* parent = nullptr);

}  // namespace emlo
