#pragma once

#include <QList>
#include <QWidget>

#include "helpfile.h"

class QTextBrowser;
class QListWidget;
class QPushButton;
class QUrl;

namespace emlo {

// The help window: a list of the help file's topics beside the text of the
// topic shown; links between topics are followed in place.
class HelpViewer : public QWidget {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);

    // Reads the help file again when it changed since the last time.
    bool openFile(const QString& path);
    // Shows a topic; false when the file has no topic of that number.
    bool showTopic(int number);
    void showContents() { showTopic(HelpFile::kContents); }
    void back();

    int currentTopic() const { return m_current; }
    QString currentText() const;
    const HelpFile& file() const { return m_file; }

private:
    void anchorClicked(const QUrl& url);
    void render(int number);

    HelpFile m_file;
    QString m_path;
    int m_current = -1;
    QList<int> m_history;
    QTextBrowser* m_browser;
    QListWidget* m_topics;
    QPushButton* m_back;
};

// The application's help: which file it uses and the two requests the program
// makes of it (contents, and a topic by number). Without a help file set the
// requests do nothing.
namespace HelpSystem {

void setHelpFile(const QString& path);
QString helpFile();
void showContents();
void showTopic(int number);
// The open help window, or nullptr.
HelpViewer* viewer();

}  // namespace HelpSystem

}  // namespace emlo
