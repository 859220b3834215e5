#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbffile.h"
#include "status.h"
#include "workarea.h"

namespace xb {

constexpr int kMaxWorkAreas = 250;

// A table being defined between sx_CreateNew and sx_CreateExec.
struct PendingTable {
    std::string path;
    std::string alias;
    int declaredFields = 0;
    std::vector<FieldDesc> fields;
    std::string error;  // the first bad field definition, reported by CreateExec
};

// The process-wide engine state behind the C interface: settings, work areas, the
// current area and the text of the last failure.
class Session {
public:
    static Session& instance();

    Settings settings;
    int errorLevel = 1;
    int currentArea = 1;
    std::string lastError;
    short lastKind = 0;       // SX_OK or an SX_ERR_* code
    long missingRecords = 0;  // of the last table refused as shorter than its count

    WorkArea* current() { return area(currentArea); }
    WorkArea* area(int n);
    int freeArea() const;  // 0 when all are taken
    int findAlias(const std::string& alias) const;
    void install(int n, std::unique_ptr<WorkArea> wa);
    void close(int n);
    void closeAll();
    std::map<int, PendingTable> pending;

    // Each call's outcome starts as success.
    void clearError()
    {
        lastError.clear();
        lastKind = 0;
    }
    // Records a failure for sx_LastError and sx_ErrorKind.
    void fail(const Status& st);
    void fail(const std::string& text) { fail(Status::error(ErrorKind::BadArgument, text)); }

private:
    std::array<std::unique_ptr<WorkArea>, kMaxWorkAreas + 1> m_areas;
};

// The SX_ERR_* code of a kind.
short errorCode(ErrorKind kind);

// File names: the path as given when it exists, else the same folder's entry whose
// name differs only in letter case, else the path as given.
std::string resolvePath(const std::string& path);
// The table file for a name: resolvePath, and ".dbf" added when the name has no extension.
std::string resolveTablePath(const std::string& path);
// An index named without a folder belongs in the table's folder; ".idx" is added when
// the name has no extension.
std::string resolveIndexPath(const std::string& name, const std::string& tableFolder);
// Default alias: the file name without folder and extension, in capitals.
std::string aliasFromPath(const std::string& path);

}  // namespace xb
