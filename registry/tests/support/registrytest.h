#pragma once

// Support of the registry's tests against a real database: SQLite, and
// PostgreSQL when the test runs under with-postgres.sh
// (EMLO_TEST_ENGINE=postgresql). Every test program runs on both engines.

#include <memory>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "registry/generator/submissiongenerator.h"
#include "registry/registrydb.h"
#include "registry/submission.h"

class QProcess;

namespace registrytest {

// Base of the test classes: each test starts on an empty registry of its own.
class RegistryTest : public QObject {
    Q_OBJECT

protected:
    bool postgres() const { return m_engine == QLatin1String("postgresql"); }
    QString dbSpec() const;
    void dropAll();
    QProcess* startImport(const QStringList& paths, int year = 2024);
    int runImport(const QStringList& paths, QString* out = nullptr, int year = 2024);
    qint64 scalar(const QString& sql);
    void openDb(emlo::registry::RegistryDb& db, int version = -1);
    void write(int index, const QString& folder, quint32 seed = 5,
               emlo::registry::Breakage breakage = emlo::registry::Breakage::None);

    QString m_engine;
    QTemporaryDir m_dir;
    std::unique_ptr<emlo::registry::RegistryDb> m_db;
    int m_case = 0;

private slots:
    void initTestCase();
    void init();
};

// A submission as the reader would give it, with only what the reports use.
emlo::registry::SubmissionData makeSubmission(const QString& edrpou, const QString& obl, const QString& city,
                                              const QString& kved, const QList<emlo::registry::EmissionRow>& rows,
                                              const QByteArray& hash);

emlo::registry::EmissionRow row(int contId, double poten, double fact);

}  // namespace registrytest
