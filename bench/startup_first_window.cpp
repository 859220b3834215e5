// Two programs for the start-up benchmark (bench/startup_bench.py): each prints
// the moment (CLOCK_MONOTONIC, nanoseconds) its first window has been exposed
// and painted, and leaves at once.
//   startup-emlo <program folder>  Emlo as emlo starts in that program folder
//   startup-empty                  an empty Qt window, the yardstick
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#ifdef EMLO_STARTUP_PROGRAM
#include "shell/ui/main.h"
#include "shell/ui/program.h"

using namespace emlo;
#endif

namespace {

// After the window's first expose has been handled (and so painted), prints
// the time and ends the process without tearing anything down.
class FirstFrame : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed())
            QTimer::singleShot(0, [] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                std::fflush(stdout);
                _exit(0);
            });
        return false;
    }
};

void watch(QWidget& window)
{
    static FirstFrame filter;
    window.winId();
    window.windowHandle()->installEventFilter(&filter);
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef EMLO_STARTUP_PROGRAM
    if (argc != 2) {
        std::fprintf(stderr, "usage: startup-emlo <program folder>\n");
        return 2;
    }
    ProgramOptions options;
    options.programFile = QDir(QString::fromLocal8Bit(argv[1])).absoluteFilePath(QStringLiteral("emlo"));
    options.shown = [](TfrmMain& window) { watch(window); };
    int qtArgc = 1;
    return RunProgram(qtArgc, argv, options);
#else
    QApplication app(argc, argv);
    QWidget window;
    window.resize(600, 350);
    watch(window);
    window.show();
    return app.exec();
#endif
}
