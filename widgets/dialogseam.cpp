#include "dialogseam.h"

#include "messagebox.h"

namespace emlo {

namespace {
DialogResponder* g_responder = nullptr;
}

QString msgKindTitle(MsgKind kind)
{
    switch (kind) {
    case MsgKind::Warning: return QStringLiteral("Попередження");
    case MsgKind::Error: return QStringLiteral("Помилка");
    case MsgKind::Information: return QStringLiteral("Iнформацiя");
    case MsgKind::Confirmation: return QStringLiteral("Пiдтвердження");
    }
    return {};
}

QString MessageRequest::effectiveTitle() const
{
    return title.isEmpty() ? msgKindTitle(kind) : title;
}

namespace DialogSeam {

MsgAnswer ask(const MessageRequest& request, QWidget* parent)
{
    if (g_responder)
        return g_responder->answerMessage(request);
    MessageBox box(request, parent);
    return box.run();
}

void setResponder(DialogResponder* responder)
{
    g_responder = responder;
}

DialogResponder* responder()
{
    return g_responder;
}

}  // namespace DialogSeam

}  // namespace emlo
