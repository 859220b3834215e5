#pragma once

// Support for the main window tests: the program folder the window starts
// on, what the tests read back from its files, and the base of the test
// classes.

#include <memory>

#include <QByteArray>
#include <QDir>
#include <QObject>
#include <QString>
#include <QStringList>

#include "shell/apppaths.h"
#include "testsupport/programfolder.h"
#include "widgets/dialogseam.h"

namespace emlo {
class TfrmMain;
}  // namespace emlo

// The answers to the modal boxes are columns of data-driven tests.
Q_DECLARE_METATYPE(emlo::MsgAnswer)

namespace shelltest {

extern const QString kFatal;

// A file's bytes as Latin-1 text; "<absent>" when there is no such file.
QString readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& content);

// The tests' program folder (three pollutants, the other reference tables
// empty) with what the main window reads besides its tables: a help file and
// (maybe) a settings file, and room for working folders beside it. A table
// named in `skip` is missing.
struct WindowFolder : emlo::testing::ProgramFolder {
    explicit WindowFolder(const QStringList& skip = {});

    const QString program;  // with a trailing "/"
    const QString settings;

    // The folder that holds the program folder and the others.
    QString root() const { return QDir::cleanPath(program + QStringLiteral("..")); }
    QString folder(const QString& name) const
    {
        const QString path = root() + QLatin1Char('/') + name + QLatin1Char('/');
        QDir().mkpath(path);
        return path;
    }
    emlo::AppPaths paths() const
    {
        emlo::AppPaths p;
        p.programFolder = program;
        p.settingsFile = settings;
        return p;
    }
    void setSetting(const QByteArray& path) { writeFile(settings, "[General]\r\nPath=" + path + "\r\n"); }
};

// A value of the attribute record as stored in the file.
QString storedAttr(const QString& folder, const QString& field);

// Starts an edit of the attribute record, as typing into a page would.
void beginAttrEdit(emlo::TfrmMain& w, const QString& name);

// Base of the main window test classes: the end of the program is counted
// instead of carried out, and the help viewer, the help file and the current
// folder are put back after each test.
class WindowTest : public QObject {
    Q_OBJECT
public:
    WindowTest();
    ~WindowTest() override;

private slots:
    void initTestCase();
    void init();
    void cleanup();

protected:
    // The main window on the folder, shown.
    std::unique_ptr<emlo::TfrmMain> start(const WindowFolder& folder);

    int m_endRequests = 0;

private:
    QString m_savedCurrent;
};

}  // namespace shelltest
