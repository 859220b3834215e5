// emlo-screenshots <program folder> <picture folder>: starts the program as
// emlo would start in that program folder, saves a picture of each page and
// of the program's own dialogs, and closes the window as a user would (so the
// close handlers run). A development tool for scripts/screenshots.sh; the
// shipped program has no such mode.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

#include "shell/ui/main.h"
#include "shell/ui/program.h"
#include "widgets/aboutbox.h"
#include "widgets/folderdialog.h"
#include "widgets/helpviewer.h"
#include "widgets/messagebox.h"
#include "widgets/outlookbar.h"

using namespace emlo;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

void save(QWidget* widget, const QString& file)
{
    widget->grab().save(file);
}

// Saves a picture of a window the program would show modally.
void saveDialog(QWidget* dialog, const QString& file)
{
    dialog->show();
    settle();
    save(dialog, file);
    dialog->hide();
}

void scheduleScreenshots(TfrmMain& window, const QString& folder)
{
    QTimer::singleShot(300, &window, [&window, folder] {
        QDir().mkpath(folder);
        const QDir out(folder);
        const struct {
            const char* item;
            const char* file;
        } pages[] = {{"Реквізити", "page-attributes.png"},
                     {"Статистичні коди", "page-codes.png"},
                     {"Викиди", "page-emissions.png"}};
        for (const auto& page : pages) {
            window.OutlookItemClick(window.Outlook, QString::fromUtf8(page.item));
            settle();
            save(&window, out.filePath(QString::fromLatin1(page.file)));
        }
        window.OutlookItemClick(window.Outlook, QStringLiteral("Реквізити"));

        FolderDialog folderDialog(&window);
        folderDialog.setFolderName(QDir::toNativeSeparators(QDir::currentPath()));
        saveDialog(&folderDialog, out.filePath(QStringLiteral("folder-dialog.png")));

        AboutBox about(QStringLiteral("Emlo, вер. 1.3"),
                       QStringLiteral("Державний облік викидів промислових підприємств"), TfrmMain::ApplicationIcon(),
                       &window);
        saveDialog(&about, out.filePath(QStringLiteral("about.png")));

        MessageRequest request;
        request.kind = MsgKind::Warning;
        request.text = QStringLiteral("Робочі файли не знайдені.\r\nУтворити нові файли?");
        request.buttons = MsgButton::Yes | MsgButton::No | MsgButton::Cancel;
        MessageBox box(request, &window);
        saveDialog(&box, out.filePath(QStringLiteral("message.png")));

        HelpSystem::showTopic(1000);
        if (HelpViewer* viewer = HelpSystem::viewer()) {
            settle();
            save(viewer, out.filePath(QStringLiteral("help.png")));
            viewer->close();
        }

        // As a user closes it: the close handlers run.
        window.close();
    });
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: emlo-screenshots <program folder> <picture folder>\n");
        return 2;
    }
    const QString program = QDir(QString::fromLocal8Bit(argv[1])).absoluteFilePath(QStringLiteral("emlo"));
    const QString pictures = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    int qtArgc = 1;
    ProgramOptions options;
    options.programFile = program;
    options.shown = [pictures](TfrmMain& window) { scheduleScreenshots(window, pictures); };
    return RunProgram(qtArgc, argv, options);
}
