#pragma once

#include <QFlags>
#include <QString>

class QWidget;

namespace emlo {

// Kind of a message box: sets its title and its icon.
enum class MsgKind { Warning, Error, Information, Confirmation };

enum class MsgButton : unsigned {
    Yes = 0x01,
    No = 0x02,
    Ok = 0x04,
    Cancel = 0x08,
    Help = 0x10,
};
Q_DECLARE_FLAGS(MsgButtons, MsgButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(MsgButtons)

// The button that closed a box. Help never closes a box, so it is no answer.
enum class MsgAnswer { Ok, Cancel, Yes, No };

// One modal question or message, everything the user is shown.
struct MessageRequest {
    MsgKind kind = MsgKind::Information;
    QString text;
    MsgButtons buttons = MsgButton::Ok;
    int helpTopic = 0;  // 0: the box has no help topic
    QString title;      // empty: the title of the kind

    // The title the box shows: `title` when set, otherwise that of the kind.
    QString effectiveTitle() const;
};

// What the folder dialog returned: whether "OK" closed it and the folder named.
struct FolderAnswer {
    bool accepted = false;
    QString folder;
};

// Answers the program's modal boxes in place of the user. Tests install one so
// that no test waits on a real window; the program runs with none installed.
class DialogResponder {
public:
    virtual ~DialogResponder() = default;
    virtual MsgAnswer answerMessage(const MessageRequest& request) = 0;
    // `initialFolder` is the name the dialog would open with.
    virtual FolderAnswer answerFolder(const QString& initialFolder) = 0;
    // False lets the real folder dialog open (for tests that drive it).
    virtual bool answersFolders() const { return true; }
};

// The one road every modal message and the folder dialog take.
namespace DialogSeam {

// Shows the message (or hands it to the installed responder) and returns the
// button that closed it.
MsgAnswer ask(const MessageRequest& request, QWidget* parent = nullptr);

// Installs a responder; nullptr brings the real windows back. The caller keeps
// ownership and must uninstall it before destroying it.
void setResponder(DialogResponder* responder);
DialogResponder* responder();

}  // namespace DialogSeam

// Titles of the four kinds, as the boxes show them.
QString msgKindTitle(MsgKind kind);

}  // namespace emlo
