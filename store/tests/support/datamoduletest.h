#pragma once

// Base of the data module's tests: a program folder and a working folder for
// each test, the module on them, and every message it reports recorded in
// its order.

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "store/datamodule.h"

namespace storetest {

// The module's messages as "topic|text", and "FatalStop", in their order.
class OrderedReporter : public emlo::DataModuleReporter {
public:
    QStringList calls;
    void ShowError(const QString& text, int helpTopic) override;
    void FatalStop() override;
};

class DataModuleTest : public QObject {
    Q_OBJECT
public:
    DataModuleTest();
    ~DataModuleTest() override;

private slots:
    void init();
    void cleanup();

protected:
    QString program(const QString& name) const { return m_program->path() + u'/' + name; }
    QString work(const QString& name) const { return m_work->path() + u'/' + name; }
    // The six reference tables in the program folder, but for the files named.
    void makeReferenceTables(const QStringList& skip = {});
    void openAll();
    // Fresh folders and a fresh module, as at the start of a test.
    void startAgain();

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_work;
    OrderedReporter m_reporter;
    std::unique_ptr<emlo::TDataModule> m_dm;
    QString m_startFolder;
};

}  // namespace storetest
