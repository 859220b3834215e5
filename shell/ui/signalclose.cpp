#include "signalclose.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

namespace emlo {

namespace {

// A signal handler may only write to a descriptor; the event loop reads the
// other end and closes the window on the user-interface thread.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

}  // namespace

void closeOnTerminationSignals(QWidget* window)
{
    if (g_signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, window);
    QPointer<QWidget> target(window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [target] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[1], &byte, 1);
        if (target)
            target->close();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

}  // namespace emlo
