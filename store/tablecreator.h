#pragma once

// The engine steps behind a table's CreateNew, CreateField and CreateExec:
// a new table file declared field by field and written at the end. Failures
// are reported by result; the kind and text of the last one are kept.

#include <QString>

namespace emlo {

class TableCreator {
public:
    // A creation has begun and is neither executed nor given up.
    bool pending() const { return m_area > 0; }
    // Begins a table file at path (the exact spelling to use; it must not
    // exist); returns the engine's work area, 0 on failure.
    short begin(const QString& path, short tableType, short fieldCount);
    void addField(const QString& name, const QString& type, short width, short decimals);
    // Writes the file and closes it; nonzero on success.
    short execute();
    // Forgets a creation that was never executed.
    void giveUp();

    int lastErrorKind() const { return m_lastErrorKind; }
    QString lastErrorText() const { return m_lastErrorText; }

private:
    void noteFailure();

    short m_area = 0;
    QString m_path;
    int m_lastErrorKind = 0;
    QString m_lastErrorText;
};

}  // namespace emlo
