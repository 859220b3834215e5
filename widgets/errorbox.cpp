#include "errorbox.h"

#include "dialogseam.h"
#include "store/errors.h"

namespace emlo {

namespace {
QString g_title;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) { }

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        showException(error);
    }
    return false;
}

void Application::setTitle(const QString& title)
{
    g_title = title;
}

QString Application::title()
{
    return g_title;
}

void showApplicationError(const QString& text)
{
    MessageRequest request;
    request.kind = MsgKind::Error;
    request.title = g_title;
    request.text = text;
    request.buttons = MsgButton::Ok;
    DialogSeam::ask(request);
}

void showException(const std::exception& error)
{
    if (dynamic_cast<const EAbort*>(&error))
        return;
    showApplicationError(ErrorText(error));
}

}  // namespace emlo
