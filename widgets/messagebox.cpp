#include "messagebox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "helpviewer.h"

namespace emlo {

namespace {

// Left to right, as the buttons stand in the box.
constexpr MsgButton kButtonOrder[] = {MsgButton::Yes, MsgButton::No, MsgButton::Ok, MsgButton::Cancel, MsgButton::Help};

QString iconResource(MsgKind kind)
{
    switch (kind) {
    case MsgKind::Warning: return QStringLiteral(":/emlo/widgets/msg-warning.svg");
    case MsgKind::Error: return QStringLiteral(":/emlo/widgets/msg-error.svg");
    case MsgKind::Information: return QStringLiteral(":/emlo/widgets/msg-information.svg");
    case MsgKind::Confirmation: return QStringLiteral(":/emlo/widgets/msg-confirmation.svg");
    }
    return {};
}

QString objectNameOf(MsgButton which)
{
    switch (which) {
    case MsgButton::Yes: return QStringLiteral("yesButton");
    case MsgButton::No: return QStringLiteral("noButton");
    case MsgButton::Ok: return QStringLiteral("okButton");
    case MsgButton::Cancel: return QStringLiteral("cancelButton");
    case MsgButton::Help: return QStringLiteral("helpButton");
    }
    return {};
}

// Texts come with CR LF line breaks; a label wants plain line feeds.
QString displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

}  // namespace

QIcon msgKindIcon(MsgKind kind)
{
    return QIcon(iconResource(kind));
}

QString MessageBox::buttonCaption(MsgButton which)
{
    switch (which) {
    case MsgButton::Yes: return QStringLiteral("Так");
    case MsgButton::No: return QStringLiteral("Нi");
    case MsgButton::Ok: return QStringLiteral("OK");
    case MsgButton::Cancel: return QStringLiteral("Вiдмова");
    case MsgButton::Help: return QStringLiteral("Допомога");
    }
    return {};
}

MessageBox::MessageBox(const MessageRequest& request, QWidget* parent)
    : QDialog(parent), m_request(request), m_answer(escapeAnswer())
{
    setObjectName(QStringLiteral("messageBox"));
    setWindowTitle(request.effectiveTitle());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);

    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    iconLabel->setPixmap(msgKindIcon(request.kind).pixmap(32, 32));
    iconLabel->setAlignment(Qt::AlignTop);

    auto* textLabel = new QLabel(displayText(request.text), this);
    textLabel->setObjectName(QStringLiteral("textLabel"));
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One rule for every text: the box is as wide as its longest line, up to
    // a limit; only a longer line wraps, between words. A folder path on a
    // line of its own therefore stays whole, and no text is cut.
    const QFontMetrics metrics(textLabel->font());
    int longest = 0;
    for (const QString& line : displayText(request.text).split(QLatin1Char('\n')))
        longest = qMax(longest, metrics.horizontalAdvance(line));
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int limit = qMax(640, screen ? screen->availableGeometry().width() * 2 / 3 : 640);
    // Room for the title: a narrow box would cut it in the title bar.
    const int forTitle =
        QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(windowTitle()) + 120 - 32 - 16;
    const int width = qMax(qMin(longest + 2, limit), forTitle);
    textLabel->setWordWrap(true);
    textLabel->setFixedSize(width, textLabel->heightForWidth(width));

    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(iconLabel, 0, Qt::AlignTop);
    top->addWidget(textLabel, 1, Qt::AlignVCenter);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* defaultButton = nullptr;
    for (MsgButton which : kButtonOrder) {
        if (!request.buttons.testFlag(which))
            continue;
        auto* b = new QPushButton(buttonCaption(which), this);
        b->setObjectName(objectNameOf(which));
        b->setMinimumWidth(75);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        if (which == MsgButton::Help) {
            connect(b, &QPushButton::clicked, this, [this] { HelpSystem::showTopic(m_request.helpTopic); });
            continue;
        }
        const MsgAnswer answer = which == MsgButton::Yes ? MsgAnswer::Yes
            : which == MsgButton::No                     ? MsgAnswer::No
            : which == MsgButton::Ok                     ? MsgAnswer::Ok
                                                         : MsgAnswer::Cancel;
        connect(b, &QPushButton::clicked, this, [this, answer] { finishWith(answer); });
        // OK is the default button when there is one, otherwise Yes.
        if (which == MsgButton::Ok || (which == MsgButton::Yes && !request.buttons.testFlag(MsgButton::Ok)))
            defaultButton = b;
    }
    buttons->addStretch(1);
    if (defaultButton) {
        defaultButton->setDefault(true);
        defaultButton->setFocus();
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(16);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* MessageBox::button(MsgButton which) const
{
    return findChild<QPushButton*>(objectNameOf(which));
}

MsgAnswer MessageBox::run()
{
    exec();
    return m_answer;
}

void MessageBox::finishWith(MsgAnswer answer)
{
    m_answer = answer;
    done(answer == MsgAnswer::Ok || answer == MsgAnswer::Yes ? QDialog::Accepted : QDialog::Rejected);
}

// Escape and the close box give Cancel, else No, else OK.
MsgAnswer MessageBox::escapeAnswer() const
{
    if (m_request.buttons.testFlag(MsgButton::Cancel))
        return MsgAnswer::Cancel;
    if (m_request.buttons.testFlag(MsgButton::No))
        return MsgAnswer::No;
    return MsgAnswer::Ok;
}

void MessageBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        finishWith(escapeAnswer());
        return;
    }
    if (event->key() == Qt::Key_F1 && m_request.helpTopic != 0) {
        HelpSystem::showTopic(m_request.helpTopic);
        return;
    }
    QDialog::keyPressEvent(event);
}

MsgAnswer messageDlg(const QString& text, MsgKind kind, MsgButtons buttons, int helpTopic, QWidget* parent)
{
    MessageRequest request;
    request.kind = kind;
    request.text = text;
    request.buttons = buttons;
    request.helpTopic = helpTopic;
    return DialogSeam::ask(request, parent);
}

void showErrorMessage(const QString& text, int helpTopic, QWidget* parent)
{
    messageDlg(text, MsgKind::Error, MsgButton::Ok | MsgButton::Help, helpTopic, parent);
}

}  // namespace emlo
