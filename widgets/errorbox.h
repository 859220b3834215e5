#pragma once

#include <exception>

#include <QApplication>
#include <QString>

namespace emlo {

// The application object. An exception that no command caught ends only the
// event that raised it: it is shown in the application's error box and the
// program goes on.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The application title, shown in the error box's title bar.
    static void setTitle(const QString& title);
    static QString title();
};

// Shows an error in the application's error box: the application title, the
// error icon and OK. A silent abort (EAbort) shows nothing.
void showException(const std::exception& error);
void showApplicationError(const QString& text);

// Runs a command, showing whatever it throws in the application's error box.
// Commands run through this so that no exception crosses the toolkit's frames.
template <typename Command> void runGuarded(Command&& command)
{
    try {
        command();
    } catch (const std::exception& error) {
        showException(error);
    }
}

}  // namespace emlo
