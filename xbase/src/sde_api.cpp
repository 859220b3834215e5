// The extern "C" sx_* functions: argument checks, the current work area, the texts
// returned to the caller and sx_LastError; the work lies in WorkArea and DbfFile.
#include "xbase/include/sde.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "bytes.h"
#include "numtext.h"
#include "session.h"

using namespace xb;

namespace {

Session& S()
{
    return Session::instance();
}

std::string text(const char* p)
{
    return p ? std::string(p) : std::string();
}

const char* keep(std::string& slot, std::string value)
{
    slot = std::move(value);
    return slot.c_str();
}

// Every entry point runs its body through guard: the outcome is cleared first, and an
// exception (memory exhausted, a bug) becomes the call's reported failure instead of
// crossing into C code; locks a failed step left behind are released.
void recoverAfterException(const std::string& what)
{
    for (int n = 1; n <= kMaxWorkAreas; ++n)
        if (WorkArea* wa = S().area(n))
            wa->abandonPending();
    S().fail(Status::error(ErrorKind::Io, what));
}

template <typename R, typename F> R guard(R onError, F&& body) noexcept
{
    S().clearError();
    try {
        R result = body();
        // A record the file could not give was read as blanks: say so.
        if (S().lastKind == SX_OK)
            if (WorkArea* wa = S().current())
                if (wa->table().hasReadError())  // every call passes here: no Status made in vain
                    S().fail(wa->table().takeReadError());
        return result;
    } catch (const std::bad_alloc&) {
        recoverAfterException("Not enough memory for the operation");
    } catch (const std::exception& e) {
        recoverAfterException(std::string("Internal error: ") + e.what());
    } catch (...) {
        recoverAfterException("Internal error");
    }
    return onError;
}

template <typename F> void guard(F&& body) noexcept
{
    guard<int>(0, [&]() -> int {
        body();
        return 0;
    });
}

// Makes workArea the current one; a number out of range is reported.
bool selectArea(short workArea)
{
    if (workArea < 1 || workArea > kMaxWorkAreas) {
        S().fail("Work area " + std::to_string(workArea) + " does not exist");
        return false;
    }
    S().currentArea = workArea;
    return true;
}

WorkArea* table()
{
    WorkArea* wa = S().current();
    if (!wa)
        S().fail(Status::error(ErrorKind::NoTable, "No table is open in work area " + std::to_string(S().currentArea)));
    return wa;
}

short failed(const Status& st)
{
    S().fail(st);
    return 0;
}

const FieldDesc* field(WorkArea* wa, const char* name)
{
    if (!wa)
        return nullptr;
    const int i = wa->table().fieldIndex(text(name));
    if (i < 0) {
        S().fail(Status::error(ErrorKind::NotFound, "Field " + text(name) + " does not exist in " + wa->alias()));
        return nullptr;
    }
    return &wa->table().fields()[static_cast<size_t>(i)];
}

std::string_view fieldText(WorkArea* wa, const FieldDesc& f)
{
    return {wa->currentRecord() + f.offset, f.width};
}

double fieldNumber(WorkArea* wa, const FieldDesc& f)
{
    const std::string_view t = fieldText(wa, f);
    switch (f.type) {
    case 'N':
    case 'F': return parseNumeric(t);
    case 'I':
        return f.width == 4
            ? static_cast<double>(static_cast<int32_t>(readLe32(reinterpret_cast<const unsigned char*>(t.data()))))
            : 0.0;
    case 'L': {
        const char c = asciiUpper(t[0]);
        return (c == 'T' || c == 'Y') ? 1.0 : 0.0;
    }
    default: return parseLeadingNumber(t);
    }
}

template <typename T> T clampTo(double v)
{
    if (!(v == v))
        return 0;
    v = std::trunc(v);
    if (v <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (v >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

short toShort(int64_t v)
{
    return static_cast<short>(
        std::clamp<int64_t>(v, std::numeric_limits<short>::min(), std::numeric_limits<short>::max()));
}

// Days from 1 January 4713 BC (Julian day number) for a Gregorian date.
long julianDay(int y, int m, int d)
{
    const int a = (14 - m) / 12;
    const long yy = y + 4800 - a;
    const long mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

Status writeField(WorkArea* wa, const FieldDesc& f, short type, const void* value)
{
    const uint32_t w = f.width;
    double number = 0.0;
    bool isNumber = true;
    std::string str;
    switch (type) {
    case SX_R_INTEGER: number = *static_cast<const short*>(value); break;
    case SX_R_LONG: number = static_cast<double>(*static_cast<const long*>(value)); break;
    case SX_R_DOUBLE: number = *static_cast<const double*>(value); break;
    case SX_R_LOGICAL: number = *static_cast<const short*>(value) != 0 ? 1.0 : 0.0; break;
    case SX_R_CHAR:
    case SX_R_DATESTR:
        isNumber = false;
        str = text(static_cast<const char*>(value));
        break;
    default: return Status::error(ErrorKind::BadArgument, "Unknown value type " + std::to_string(type));
    }
    // The value is formed first; the record is read and patched under its lock.
    std::string field(w, ' ');
    char* out = field.data();
    switch (f.type) {
    case 'N':
    case 'F': {
        if (!isNumber) {
            bool blank = false;
            number = parseNumeric(str, &blank);
            if (blank) {
                std::memset(out, ' ', w);
                break;
            }
        }
        if (!formatNumeric(number, static_cast<int>(w), static_cast<int>(f.decimals), out))
            return Status::error(ErrorKind::BadValue, "The value does not fit field " + f.name);
        break;
    }
    case 'I': {
        if (!isNumber)
            number = parseNumeric(str);
        if (!(number >= -2147483648.0 && number <= 2147483647.0) || w != 4)
            return Status::error(ErrorKind::BadValue, "The value does not fit field " + f.name);
        unsigned char b[4];
        writeLe32(b, static_cast<uint32_t>(static_cast<int32_t>(number)));
        std::memcpy(out, b, 4);
        break;
    }
    case 'L':
        if (isNumber)
            out[0] = number != 0.0 ? 'T' : 'F';
        else
            out[0] = str.empty() ? ' ' : asciiUpper(str[0]);
        break;
    default: {  // C, D and others: text, blank-padded
        if (isNumber)
            str = numberToText(number);
        std::memset(out, ' ', w);
        std::memcpy(out, str.data(), std::min<size_t>(str.size(), w));
        break;
    }
    }
    return wa->changeFields([&](char* record) {
        std::memcpy(record + f.offset, field.data(), w);
        return Status();
    });
}

short notSupported(const char* name)
{
    S().fail(std::string(name) + " is not supported by this engine");
    return 0;
}

std::unique_ptr<Expr> compileHere(const char* expr)
{
    WorkArea* wa = S().current();
    std::unique_ptr<Expr> e;
    const Status st = Expr::compile(text(expr), wa ? &wa->table().fields() : nullptr, &e);
    if (!st.ok())
        S().fail(st);
    return e;
}

EvalContext contextHere()
{
    WorkArea* wa = S().current();
    if (wa)
        return wa->context();
    static const char blank[1] = {' '};
    EvalContext c;
    c.record = blank;
    c.exact = S().settings.exact;
    return c;
}

std::string& udfPath()
{
    static std::string p;
    return p;
}

}  // namespace

extern "C" {

// ---- session and settings ----

SDEAPI const char* sx_Version(void)
{
    return guard<const char*>("", [&]() -> const char* { return "Emlo xBase engine 1.0 (FoxPro DBF with IDX)"; });
}

SDEAPI void sx_FinalizeSession(void)
{
    guard([&] { S().closeAll(); });
}

SDEAPI void sx_SetStringType(short /*type*/)
{
    S().clearError();
}

SDEAPI short sx_ErrorLevel(short level)
{
    return guard<short>(0, [&]() -> short {
        const int previous = S().errorLevel;
        S().errorLevel = level;
        return toShort(previous);
    });
}

SDEAPI void sx_SetDeleted(short on)
{
    guard([&] { S().settings.deleted = on != 0; });
}

SDEAPI void sx_SetExact(short on)
{
    guard([&] { S().settings.exact = on != 0; });
}

SDEAPI void sx_SetSoftSeek(short on)
{
    guard([&] { S().settings.softSeek = on != 0; });
}

SDEAPI void sx_SetEpoch(short /*year*/)
{
    S().clearError();
}
SDEAPI void sx_SetCentury(short /*on*/)
{
    S().clearError();
}
SDEAPI void sx_SetDateFormat(short /*fmt*/)
{
    S().clearError();
}
SDEAPI void sx_SetMemoBlockSize(short /*size*/)
{
    S().clearError();
}
SDEAPI void sx_SetTurboRead(short /*on*/)
{
    S().clearError();
}
SDEAPI void sx_SetTranslate(short /*on*/)
{
    S().clearError();
}

SDEAPI long sx_SysProp(short prop, void* value)
{
    const long missing = S().missingRecords;  // survives the clearing of the outcome
    return guard<long>(0, [&]() -> long {
        if (prop == SX_SP_DELETED_HIDDEN)
            return S().settings.deleted ? 1 : 0;
        if (prop == SX_SP_MISSING_RECORDS) {
            if (value)
                *static_cast<long*>(value) = missing;
            return missing;
        }
        return 0;
    });
}

SDEAPI const char* sx_LastError(void)
{
    return S().lastError.c_str();
}

SDEAPI short sx_ErrorKind(void)
{
    return S().lastKind;
}

SDEAPI long sx_InterfaceVersion(void)
{
    S().clearError();
    return 2;
}

// ---- work areas ----

SDEAPI short sx_Use(const char* path, const char* alias, short openMode, short tableType)
{
    return guard<short>(0, [&]() -> short {
        if (!path || !*path)
            return failed(Status::error(ErrorKind::BadArgument, "No table file name given"));
        if (tableType < SX_SDENTX || tableType > SX_SDENSX_DBT)
            return failed(Status::error(ErrorKind::Unsupported, "Unknown table type " + std::to_string(tableType)));
        const std::string resolved = resolveTablePath(path);
        const std::string name = alias && *alias ? std::string(alias) : aliasFromPath(resolved);
        if (S().findAlias(name) != 0)
            return failed(Status::error(ErrorKind::BadArgument, "Alias " + name + " is already in use"));
        const int n = S().freeArea();
        if (n == 0)
            return failed(Status::error(ErrorKind::BadArgument, "No free work area"));
        const DbfFile::OpenMode mode = openMode == SX_READONLY ? DbfFile::OpenMode::ReadOnly
            : openMode == SX_EXCLUSIVE                         ? DbfFile::OpenMode::Exclusive
                                                               : DbfFile::OpenMode::Shared;
        Status st;
        uint32_t missing = 0;
        S().missingRecords = 0;
        auto file = DbfFile::open(resolved, mode, &st, &missing);
        if (!file) {
            S().missingRecords = static_cast<long>(missing);
            return failed(st);
        }
        S().install(n, std::make_unique<WorkArea>(std::move(file), name, &S().settings));
        S().currentArea = n;
        return toShort(n);
    });
}

SDEAPI void sx_Close(void)
{
    guard([&] { S().close(S().currentArea); });
}

SDEAPI void sx_CloseAll(void)
{
    guard([&] { S().closeAll(); });
}

SDEAPI short sx_Select(short workArea)
{
    return guard<short>(0, [&]() -> short {
        const int previous = S().currentArea;
        (void)selectArea(workArea);
        return toShort(previous);
    });
}

SDEAPI short sx_WorkArea(const char* alias)
{
    return guard<short>(0, [&]() -> short { return toShort(S().findAlias(text(alias))); });
}

SDEAPI const char* sx_Alias(short workArea)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = S().area(workArea == 0 ? S().currentArea : workArea);
        return keep(slot, wa ? wa->alias() : std::string());
    });
}

SDEAPI short sx_OpenMode(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        switch (wa->table().mode()) {
        case DbfFile::OpenMode::ReadOnly: return SX_READONLY;
        case DbfFile::OpenMode::Exclusive: return SX_EXCLUSIVE;
        default: return SX_READWRITE;
        }
    });
}

// ---- structure ----

SDEAPI short sx_FieldCount(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa ? toShort(static_cast<int64_t>(wa->table().fields().size())) : 0;
    });
}

SDEAPI short sx_RecSize(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa ? toShort(wa->table().recordLength()) : 0;
    });
}

SDEAPI const char* sx_FieldName(short fieldNum)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        if (!wa)
            return keep(slot, "");
        const auto& fields = wa->table().fields();
        if (fieldNum < 1 || static_cast<size_t>(fieldNum) > fields.size()) {
            S().fail(
                Status::error(ErrorKind::NotFound, "Field number " + std::to_string(fieldNum) + " does not exist"));
            return keep(slot, "");
        }
        return keep(slot, fields[static_cast<size_t>(fieldNum - 1)].name);
    });
}

SDEAPI short sx_FieldNum(const char* fieldName)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa ? toShort(wa->table().fieldIndex(text(fieldName)) + 1) : 0;
    });
}

SDEAPI const char* sx_FieldType(const char* fieldName)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        const FieldDesc* f = field(table(), fieldName);
        return keep(slot, f ? std::string(1, f->type) : std::string());
    });
}

SDEAPI short sx_FieldOffset(const char* fieldName)
{
    return guard<short>(0, [&]() -> short {
        const FieldDesc* f = field(table(), fieldName);
        return f ? toShort(f->offset) : 0;
    });
}

SDEAPI short sx_FieldWidth(const char* fieldName)
{
    return guard<short>(0, [&]() -> short {
        const FieldDesc* f = field(table(), fieldName);
        return f ? toShort(f->width) : 0;
    });
}

SDEAPI short sx_FieldDecimals(const char* fieldName)
{
    return guard<short>(0, [&]() -> short {
        const FieldDesc* f = field(table(), fieldName);
        return f ? toShort(f->decimals) : 0;
    });
}

// ---- navigation ----

SDEAPI long sx_RecCount(void)
{
    return guard<long>(0, [&]() -> long {
        WorkArea* wa = table();
        return wa ? static_cast<long>(wa->recordCount()) : 0;
    });
}

SDEAPI long sx_RecNo(void)
{
    return guard<long>(0, [&]() -> long {
        WorkArea* wa = table();
        return wa ? static_cast<long>(wa->recNo()) : 0;
    });
}

SDEAPI void sx_GoTop(void)
{
    guard([&] {
        if (WorkArea* wa = table())
            wa->goTop();
    });
}

SDEAPI void sx_GoBottom(void)
{
    guard([&] {
        if (WorkArea* wa = table())
            wa->goBottom();
    });
}

SDEAPI void sx_Go(long recNo)
{
    guard([&] {
        if (WorkArea* wa = table())
            wa->go(recNo);
    });
}

SDEAPI void sx_Skip(long count)
{
    guard([&] {
        if (WorkArea* wa = table())
            wa->skip(count);
    });
}

SDEAPI short sx_Eof(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa ? (wa->eof() ? 1 : 0) : 1;
    });
}

SDEAPI long sx_SkipRecord(short workArea, long count, char* buffer)
{
    return guard<long>(0, [&]() -> long {
        if (!selectArea(workArea))
            return 0;
        WorkArea* wa = table();
        if (!wa)
            return 0;
        if (!buffer)
            return failed(Status::error(ErrorKind::BadArgument, "No record buffer given"));
        wa->skip(count);
        if (S().lastKind != SX_OK || (count >= 0 ? wa->eof() : wa->bof()))
            return 0;
        std::memcpy(buffer, wa->currentRecord(), wa->table().recordLength());
        // A record the file could not give: guard reports it, the caller sees 0.
        return wa->table().hasReadError() ? 0 : static_cast<long>(wa->recNo());
    });
}

SDEAPI short sx_Bof(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa ? (wa->bof() ? 1 : 0) : 1;
    });
}

// ---- records ----

SDEAPI void sx_GetRecord(char* buffer)
{
    guard([&] {
        WorkArea* wa = table();
        if (wa && buffer)
            std::memcpy(buffer, wa->currentRecord(), wa->table().recordLength());
    });
}

SDEAPI void sx_PutRecord(const char* buffer)
{
    guard([&] {
        WorkArea* wa = table();
        if (!wa)
            return;
        if (!buffer) {
            S().fail("No record given");
            return;
        }
        Status st = wa->putRecord(buffer);
        if (!st.ok())
            S().fail(st);
    });
}

SDEAPI void sx_AppendBlank(void)
{
    guard([&] {
        if (WorkArea* wa = table()) {
            Status st = wa->appendBlank();
            if (!st.ok())
                S().fail(st);
        }
    });
}

SDEAPI long sx_AppendRecord(const char* buffer)
{
    return guard<long>(0, [&]() -> long {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        if (!buffer)
            return failed(Status::error(ErrorKind::BadArgument, "No record given"));
        uint32_t recNo = 0;
        Status st = wa->appendRecord(buffer, &recNo);
        if (!st.ok())
            return failed(st);
        return static_cast<long>(recNo);
    });
}

SDEAPI void sx_Append(void)
{
    guard([&] { sx_AppendBlank(); });
}

SDEAPI void sx_Delete(void)
{
    guard([&] {
        if (WorkArea* wa = table()) {
            Status st = wa->setDeleted(true);
            if (!st.ok())
                S().fail(st);
        }
    });
}

SDEAPI void sx_Recall(void)
{
    guard([&] {
        if (WorkArea* wa = table()) {
            Status st = wa->setDeleted(false);
            if (!st.ok())
                S().fail(st);
        }
    });
}

SDEAPI short sx_Deleted(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa && wa->currentDeleted() ? 1 : 0;
    });
}

SDEAPI void sx_Commit(void)
{
    guard([&] {
        if (WorkArea* wa = table()) {
            Status st = wa->commit();
            if (!st.ok())
                S().fail(st);
        }
    });
}

SDEAPI const char* sx_GetString(const char* fieldName)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        if (!f)
            return keep(slot, "");
        if (f->type == 'I')
            return keep(slot, numberToText(fieldNumber(wa, *f)));
        return keep(slot, std::string(fieldText(wa, *f)));
    });
}

SDEAPI const char* sx_GetTrimString(const char* fieldName)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        if (!f)
            return keep(slot, "");
        if (f->type == 'I')
            return keep(slot, numberToText(fieldNumber(wa, *f)));
        std::string_view t = trimRight(fieldText(wa, *f));
        if (f->type != 'C')
            t = trimLeft(t);
        return keep(slot, std::string(t));
    });
}

SDEAPI double sx_GetDouble(const char* fieldName)
{
    return guard<double>(0.0, [&]() -> double {
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        return f ? fieldNumber(wa, *f) : 0.0;
    });
}

SDEAPI short sx_GetInteger(const char* fieldName)
{
    return guard<short>(0, [&]() -> short { return clampTo<short>(sx_GetDouble(fieldName)); });
}

SDEAPI long sx_GetLong(const char* fieldName)
{
    return guard<long>(0, [&]() -> long { return clampTo<long>(sx_GetDouble(fieldName)); });
}

SDEAPI short sx_GetLogical(const char* fieldName)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        if (!f)
            return 0;
        const char c = asciiUpper(fieldText(wa, *f)[0]);
        return (c == 'T' || c == 'Y') ? 1 : 0;
    });
}

SDEAPI void sx_Replace(const char* fieldName, short type, const void* value)
{
    guard([&] {
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        if (!f)
            return;
        if (!value && type != SX_R_CHAR && type != SX_R_DATESTR) {
            S().fail("No value given for " + f->name);
            return;
        }
        Status st = writeField(wa, *f, type, value ? value : "");
        if (!st.ok())
            S().fail(st);
    });
}

// ---- locks ----

SDEAPI short sx_Rlock(long recNo)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        Status st = wa->lockRecord(recNo);
        return st.ok() ? 1 : failed(st);
    });
}

SDEAPI void sx_Unlock(long recNo)
{
    guard([&] {
        if (WorkArea* wa = table())
            wa->unlock(recNo);
    });
}

SDEAPI short sx_Flock(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        Status st = wa->lockFile();
        return st.ok() ? 1 : failed(st);
    });
}

SDEAPI short sx_Locked(long recNo)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa || recNo < 1 || recNo > static_cast<long>(UINT32_MAX))
            return 0;
        const auto r = static_cast<uint32_t>(recNo);
        return wa->table().holdsFileLock() || wa->table().holdsRecordLock(r) ? 1 : 0;
    });
}

SDEAPI short sx_LockCount(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa ? toShort(static_cast<int64_t>(wa->table().lockedRecords().size())) : 0;
    });
}

SDEAPI void sx_SetLockTimeout(short seconds)
{
    guard([&] { S().settings.lockTimeoutMs = std::max(0, static_cast<int>(seconds)) * 1000; });
}

// ---- indexes ----

SDEAPI short sx_Index(const char* fileName, const char* keyExpr, short /*option*/, short descending,
                      const char* condition)
{
    WorkArea* wa = table();
    if (!wa)
        return 0;
    if (!fileName || !*fileName)
        return failed(Status::error(ErrorKind::BadArgument, "No index file name given"));
    if (!keyExpr || !*keyExpr)
        return failed(Status::error(ErrorKind::BadArgument, "No index key expression given"));
    const std::string path = resolveIndexPath(fileName, wa->folder());
    int handle = 0;
    Status st = wa->createIndex(path, keyExpr, text(condition), descending != 0, &handle);
    return st.ok() ? toShort(handle) : failed(st);
}

SDEAPI short sx_IndexOpen(const char* path)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        if (!path || !*path)
            return failed(Status::error(ErrorKind::BadArgument, "No index file name given"));
        int handle = 0;
        Status st = wa->openIndex(resolveIndexPath(path, wa->folder()), &handle);
        return st.ok() ? toShort(handle) : failed(st);
    });
}

SDEAPI short sx_SetOrder(short indexHandle)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        if (indexHandle < 0 || static_cast<size_t>(indexHandle) > wa->indexCount())
            S().fail("Index handle " + std::to_string(indexHandle) + " does not exist");
        return toShort(wa->setOrder(indexHandle));
    });
}

SDEAPI short sx_IndexOrd(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa ? toShort(wa->order()) : 0;
    });
}

SDEAPI void sx_IndexClose(void)
{
    guard([&] {
        if (WorkArea* wa = table())
            wa->closeIndexes();
    });
}

SDEAPI void sx_CloseIndexes(void)
{
    guard([&] { sx_IndexClose(); });
}

SDEAPI const char* sx_IndexName(short indexHandle)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        const OrderIndex* ix = wa ? wa->index(indexHandle == 0 ? wa->order() : indexHandle) : nullptr;
        return keep(slot, ix ? ix->file->path() : std::string());
    });
}

SDEAPI const char* sx_IndexKey(void)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        const OrderIndex* ix = wa ? wa->index(wa->order()) : nullptr;
        return keep(slot, ix ? ix->file->keyExpr() : std::string());
    });
}

SDEAPI const char* sx_IndexCondition(void)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        const OrderIndex* ix = wa ? wa->index(wa->order()) : nullptr;
        return keep(slot, ix ? ix->file->condition() : std::string());
    });
}

SDEAPI short sx_Reindex(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        Status st = wa->reindex();
        return st.ok() ? 1 : failed(st);
    });
}

SDEAPI short sx_Seek(const char* key)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        bool found = false;
        Status st = wa->seek(text(key), false, &found);
        if (!st.ok())
            return failed(st);
        return found ? 1 : 0;
    });
}

SDEAPI short sx_Found(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa && wa->found() ? 1 : 0;
    });
}

// ---- expressions and queries ----

SDEAPI short sx_EvalTest(const char* expr)
{
    return guard<short>(0, [&]() -> short {
        auto e = compileHere(expr);
        return e ? static_cast<short>(e->type()) : SX_EVAL_INVALID;
    });
}

SDEAPI short sx_EvalLogical(const char* expr)
{
    return guard<short>(0, [&]() -> short {
        auto e = compileHere(expr);
        if (!e)
            return 0;
        if (e->type() != ExprType::Logical) {
            S().fail(Status::error(ErrorKind::BadExpression, "The expression \"" + text(expr) + "\" is not logical"));
            return 0;
        }
        return e->logical(contextHere()) ? 1 : 0;
    });
}

SDEAPI double sx_EvalNumeric(const char* expr)
{
    return guard<double>(0.0, [&]() -> double {
        auto e = compileHere(expr);
        if (!e)
            return 0.0;
        if (e->type() != ExprType::Numeric) {
            S().fail(Status::error(ErrorKind::BadExpression, "The expression \"" + text(expr) + "\" is not numeric"));
            return 0.0;
        }
        return e->numeric(contextHere());
    });
}

SDEAPI const char* sx_EvalString(const char* expr)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        auto e = compileHere(expr);
        if (!e)
            return keep(slot, "");
        const EvalContext c = contextHere();
        switch (e->type()) {
        case ExprType::Numeric: return keep(slot, numberToText(e->numeric(c)));
        case ExprType::Logical: return keep(slot, e->logical(c) ? ".T." : ".F.");
        default: return keep(slot, std::string(e->text(c)));
        }
    });
}

SDEAPI short sx_Query(const char* expr)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        Status st = wa->setQuery(text(expr));
        return st.ok() ? 1 : failed(st);
    });
}

SDEAPI short sx_QueryTest(const char* expr)
{
    return guard<short>(0, [&]() -> short {
        auto e = compileHere(expr);
        // Every logical expression is evaluated into the record bitmap: fully optimisable.
        return e && e->type() == ExprType::Logical ? 2 : 0;
    });
}

SDEAPI long sx_QueryRecCount(void)
{
    return guard<long>(0, [&]() -> long {
        WorkArea* wa = table();
        return wa ? static_cast<long>(wa->visibleCount()) : 0;
    });
}

SDEAPI const char* sx_DBFilter(void)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = S().current();
        return keep(slot, wa ? wa->queryText() : std::string());
    });
}

// ---- creation ----

SDEAPI short sx_CreateNew(const char* path, const char* alias, short tableType, short fieldCount)
{
    return guard<short>(0, [&]() -> short {
        if (!path || !*path)
            return failed(Status::error(ErrorKind::BadArgument, "No table file name given"));
        if (tableType < SX_SDENTX || tableType > SX_SDENSX_DBT)
            return failed(Status::error(ErrorKind::Unsupported, "Unknown table type " + std::to_string(tableType)));
        const int n = S().freeArea();
        if (n == 0)
            return failed(Status::error(ErrorKind::BadArgument, "No free work area"));
        PendingTable p;
        p.path = path;
        p.alias = alias && *alias ? std::string(alias) : aliasFromPath(path);
        p.declaredFields = fieldCount;
        S().pending[n] = std::move(p);
        S().currentArea = n;
        return toShort(n);
    });
}

SDEAPI void sx_CreateField(const char* name, const char* type, short width, short decimals)
{
    guard([&] {
        auto it = S().pending.find(S().currentArea);
        if (it == S().pending.end()) {
            S().fail("No table is being created in work area " + std::to_string(S().currentArea));
            return;
        }
        PendingTable& p = it->second;
        FieldDesc f;
        f.name = text(name);
        f.type = type && *type ? type[0] : '\0';
        f.width = static_cast<uint32_t>(std::max<short>(width, 0));
        f.decimals = static_cast<uint32_t>(std::max<short>(decimals, 0));
        Status st = width < 0 || decimals < 0
            ? Status::error(ErrorKind::BadArgument, "Invalid width of field " + f.name)
            : checkNewField(&f);
        for (const FieldDesc& other : p.fields)
            if (st.ok() && other.name == f.name)
                st = Status::error(ErrorKind::BadArgument, "Duplicate field name " + f.name);
        if (!st.ok()) {
            S().fail(st);
            if (p.error.empty())
                p.error = st.message();
            return;
        }
        p.fields.push_back(std::move(f));
    });
}

SDEAPI short sx_CreateExec(void)
{
    return guard<short>(0, [&]() -> short {
        const int n = S().currentArea;
        auto it = S().pending.find(n);
        if (it == S().pending.end())
            return failed(
                Status::error(ErrorKind::BadArgument, "No table is being created in work area " + std::to_string(n)));
        PendingTable p = std::move(it->second);
        S().pending.erase(it);
        if (!p.error.empty())
            return failed(Status::error(ErrorKind::BadArgument, p.error));
        Status st = DbfFile::create(p.path, p.fields, 0xC9);  // Windows-1251
        if (!st.ok())
            return failed(st);
        auto file = DbfFile::open(p.path, DbfFile::OpenMode::Shared, &st);
        if (!file)
            return failed(st);
        std::string alias = p.alias;
        for (int i = 1; S().findAlias(alias) != 0 && i < 1000; ++i)
            alias = p.alias.substr(0, 7) + std::to_string(i);
        S().install(n, std::make_unique<WorkArea>(std::move(file), alias, &S().settings));
        return 1;
    });
}

// ---- less common functions ----

SDEAPI short sx_AppendFrom(const char*, short, const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_AppendFrom"); });
}

SDEAPI long sx_BaseDate(void)
{
    return guard<long>(0, [&]() -> long { return 1721426; });
}

SDEAPI const char* sx_BaseName(void)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        if (!wa)
            return keep(slot, "");
        std::string name = wa->table().path().substr(wa->folder().size());
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            name.resize(dot);
        return keep(slot, name);
    });
}

SDEAPI short sx_BlobToFile(const char*, const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_BlobToFile"); });
}

SDEAPI short sx_CopyFile(const char* toPath)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa || !toPath || !*toPath)
            return wa ? failed(Status::error(ErrorKind::BadArgument, "No file name given")) : 0;
        const DbfFile& t = wa->table();
        const uint32_t count = wa->recordCount();
        Status st = DbfFile::create(toPath, t.fields(), t.header().codePage);
        if (!st.ok())
            return failed(st);
        auto copy = DbfFile::open(toPath, DbfFile::OpenMode::Exclusive, &st);
        if (!copy)
            return failed(st);
        for (uint32_t r = 1; r <= count; ++r) {
            uint32_t rec = 0;
            // Records are copied whole; a field layout the writer would refuse never gets here
            // because create() accepted the same fields.
            std::string image(t.record(r), std::min(t.recordLength(), copy->recordLength()));
            image.resize(copy->recordLength(), ' ');
            st = copy->appendRecord(image.data(), &rec);
            if (!st.ok())
                return failed(st);
        }
        return 1;
    });
}

SDEAPI short sx_CopyFileText(const char*, short)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_CopyFileText"); });
}

SDEAPI short sx_CopyStructure(const char* toPath, const char* /*alias*/)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        if (!toPath || !*toPath)
            return failed(Status::error(ErrorKind::BadArgument, "No file name given"));
        Status st = DbfFile::create(toPath, wa->table().fields(), wa->table().header().codePage);
        return st.ok() ? 1 : failed(st);
    });
}

SDEAPI short sx_CopyStructureExtended(const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_CopyStructureExtended"); });
}

SDEAPI long sx_Count(void)
{
    return guard<long>(0, [&]() -> long { return sx_QueryRecCount(); });
}

SDEAPI short sx_CreateFrom(const char*, const char*, const char*, short)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_CreateFrom"); });
}
SDEAPI short sx_DbfDecrypt(void)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_DbfDecrypt"); });
}
SDEAPI short sx_DbfEncrypt(void)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_DbfEncrypt"); });
}

SDEAPI short sx_DBRlockList(long* list)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        // The caller sized list by sx_LockCount(), a short: never write past that many.
        const auto& locked = wa->table().lockedRecords();
        const size_t room = std::min<size_t>(locked.size(), std::numeric_limits<short>::max());
        if (list)
            for (size_t i = 0; i < room; ++i)
                list[i] = static_cast<long>(locked[i]);
        return toShort(static_cast<int64_t>(room));
    });
}

SDEAPI long sx_DBRlockListN(long* list, long capacity)
{
    return guard<long>(0, [&]() -> long {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        const auto& locked = wa->table().lockedRecords();
        const size_t room = list && capacity > 0 ? static_cast<size_t>(capacity) : 0;
        for (size_t i = 0; i < locked.size() && i < room; ++i)
            list[i] = static_cast<long>(locked[i]);
        if (locked.size() > room && list)
            S().fail("The list has room for " + std::to_string(room) + " of " + std::to_string(locked.size())
                     + " locked records");
        return static_cast<long>(locked.size());
    });
}

SDEAPI char* sx_Decrypt(const char*, const char*, short)
{
    return guard<char*>(nullptr, [&]() -> char* {
        notSupported("sx_Decrypt");
        return nullptr;
    });
}

SDEAPI const char* sx_Descend(const char* key)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        std::string s = text(key);
        for (char& c : s)
            c = static_cast<char>(255 - static_cast<unsigned char>(c));
        return keep(slot, s);
    });
}

SDEAPI short sx_Empty(const char* fieldName)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        if (!f)
            return 0;
        return trimRight(fieldText(wa, *f)).empty() ? 1 : 0;
    });
}

SDEAPI char* sx_Encrypt(const char*, const char*, short)
{
    return guard<char*>(nullptr, [&]() -> char* {
        notSupported("sx_Encrypt");
        return nullptr;
    });
}

SDEAPI short sx_FilterAlias(const char*, const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_FilterAlias"); });
}
SDEAPI short sx_FilterDlg(void*, const char*, const char*, short)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_FilterDlg"); });
}

SDEAPI void* sx_GetBlob(const char*, void*)
{
    return guard<void*>(nullptr, [&]() -> void* {
        notSupported("sx_GetBlob");
        return nullptr;
    });
}

SDEAPI long sx_GetBlobLength(const char*)
{
    return guard<long>(0, [&]() -> long { return notSupported("sx_GetBlobLength"); });
}

SDEAPI const char* sx_GetByte(const char* fieldName)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        return keep(slot, f ? std::string(1, fieldText(wa, *f)[0]) : std::string());
    });
}

SDEAPI long sx_GetDateJulian(const char* fieldName)
{
    return guard<long>(0, [&]() -> long {
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        if (!f || f->width < 8)
            return 0;
        const std::string_view t = fieldText(wa, *f);
        int y = 0, m = 0, d = 0;
        for (size_t i = 0; i < 8; ++i)
            if (t[i] < '0' || t[i] > '9')
                return 0;
        for (size_t i = 0; i < 4; ++i)
            y = y * 10 + (t[i] - '0');
        m = (t[4] - '0') * 10 + (t[5] - '0');
        d = (t[6] - '0') * 10 + (t[7] - '0');
        if (m < 1 || m > 12 || d < 1 || d > 31)
            return 0;
        return julianDay(y, m, d);
    });
}

SDEAPI const char* sx_GetDateString(const char* fieldName)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        const FieldDesc* f = field(wa, fieldName);
        return keep(slot, f ? std::string(fieldText(wa, *f)) : std::string());
    });
}

SDEAPI const char* sx_GetMemo(const char*, short)
{
    return guard<const char*>("", [&]() -> const char* {
        notSupported("sx_GetMemo");
        return "";
    });
}

SDEAPI short sx_GetQueryBit(long recNo)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa || recNo < 1 || recNo > static_cast<long>(UINT32_MAX))
            return 0;
        return wa->queryBit(static_cast<uint32_t>(recNo)) ? 1 : 0;
    });
}

SDEAPI const char* sx_GetScope(short)
{
    return guard<const char*>("", [&]() -> const char* {
        notSupported("sx_GetScope");
        return "";
    });
}

SDEAPI short sx_IndexFlip(void)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_IndexFlip"); });
}

SDEAPI const char* sx_IndexKeyField(void)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        const OrderIndex* ix = wa ? wa->index(wa->order()) : nullptr;
        if (!ix || ix->key->plainField() < 0)
            return keep(slot, "");
        return keep(slot, wa->table().fields()[static_cast<size_t>(ix->key->plainField())].name);
    });
}

SDEAPI short sx_IndexTag(const char*, const char*, const char*, short, short, const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_IndexTag"); });
}

SDEAPI short sx_IndexType(void)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        return wa && wa->order() > 0 ? 2 : 0;
    });
}

SDEAPI short sx_IsEncrypted(short)
{
    return guard<short>(0, [&]() -> short { return 0; });
}
SDEAPI short sx_KeyAdd(const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_KeyAdd"); });
}

SDEAPI const char* sx_KeyData(void)
{
    return guard<const char*>("", [&]() -> const char* {
        static std::string slot;
        WorkArea* wa = table();
        if (!wa || wa->order() == 0)
            return keep(slot, "");
        const OrderIndex* ix = wa->index(wa->order());
        if (ix->numeric)  // the stored bytes may hold zeros: give the number as text
            return keep(slot, numberToText(ix->key->numeric(wa->context())));
        return keep(slot, wa->currentKey());
    });
}

SDEAPI short sx_KeyDrop(const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_KeyDrop"); });
}

SDEAPI short sx_Locate(const char* expr, short direction, short continueSearch)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        auto e = compileHere(expr);
        if (!e)
            return 0;
        if (e->type() != ExprType::Logical)
            return failed(Status::error(ErrorKind::BadExpression, "The expression is not logical"));
        const bool back = direction < 0;
        if (continueSearch)
            wa->skip(back ? -1 : 1);
        else if (back)
            wa->goBottom();
        else
            wa->goTop();
        // Skipping back past the first record sets Bof on the record already examined.
        while (!wa->eof() && !(back && wa->bof())) {
            if (e->logical(wa->context()))
                return 1;
            wa->skip(back ? -1 : 1);
        }
        return 0;
    });
}

SDEAPI void sx_MemDealloc(void*)
{
    S().clearError();
}

SDEAPI double sx_OrderPosGet(void)
{
    return guard<double>(0.0, [&]() -> double {
        WorkArea* wa = table();
        if (!wa || wa->eof())
            return 0.0;
        const uint32_t total = wa->visibleCount();
        const uint32_t pos = wa->orderPosition();
        return total <= 1 || pos == 0 ? 0.0 : static_cast<double>(pos - 1) / static_cast<double>(total - 1);
    });
}

SDEAPI void sx_OrderPosSet(double position)
{
    guard([&] {
        WorkArea* wa = table();
        if (!wa)
            return;
        const uint32_t total = wa->visibleCount();
        wa->goTop();
        if (total == 0 || !(position > 0.0))
            return;
        const double clamped = std::min(position, 1.0);
        wa->skip(static_cast<long>(std::lround(clamped * (total - 1))));
    });
}

SDEAPI long sx_OrderRecNo(void)
{
    return guard<long>(0, [&]() -> long {
        WorkArea* wa = table();
        return wa ? static_cast<long>(wa->orderPosition()) : 0;
    });
}

SDEAPI void sx_Pack(void)
{
    guard([&] { notSupported("sx_Pack"); });
}

SDEAPI void sx_PutBlob(const char*, const void*, long)
{
    guard([&] { notSupported("sx_PutBlob"); });
}

SDEAPI void sx_QuerySetExact(short on)
{
    guard([&] { sx_SetExact(on); });
}

SDEAPI short sx_RYOFilterActivate(short, short)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOFilterActivate"); });
}
SDEAPI short sx_RYOFilterCopy(void)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOFilterCopy"); });
}
SDEAPI short sx_RYOFilterCreate(void)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOFilterCreate"); });
}
SDEAPI short sx_RYOFilterDestroy(short)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOFilterDestroy"); });
}
SDEAPI short sx_RYOFilterGetBit(short, long)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOFilterGetBit"); });
}
SDEAPI short sx_RYOFilterRestore(short)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOFilterRestore"); });
}
SDEAPI short sx_RYOFilterSave(void)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOFilterSave"); });
}
SDEAPI short sx_RYOFilterSetBit(short, long, short)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOFilterSetBit"); });
}
SDEAPI short sx_RYOKeyAdd(const char*, const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOKeyAdd"); });
}
SDEAPI short sx_RYOKeyDrop(const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_RYOKeyDrop"); });
}

SDEAPI short sx_SeekBin(const char* key, short length)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa)
            return 0;
        bool found = false;
        const size_t n = key && length > 0 ? static_cast<size_t>(length) : 0;
        Status st = wa->seek(std::string_view(key ? key : "", n), true, &found);
        if (!st.ok())
            return failed(st);
        return found ? 1 : 0;
    });
}

SDEAPI short sx_SetCollationRule(short)
{
    return guard<short>(0, [&]() -> short { return 0; });
}
SDEAPI void sx_SetErrorFunc(void*, long)
{
    S().clearError();
}

SDEAPI void sx_SetFilter(const char* expr)
{
    guard([&] { sx_Query(expr); });
}

SDEAPI void sx_SetGaugeFunc(void*)
{
    S().clearError();
}
SDEAPI void sx_SetGaugeHook(void*)
{
    S().clearError();
}
SDEAPI void sx_SetPassword(const char*)
{
    S().clearError();
}

SDEAPI short sx_SetQueryBit(long recNo, short value)
{
    return guard<short>(0, [&]() -> short {
        WorkArea* wa = table();
        if (!wa || !wa->hasQuery() || recNo < 1 || recNo > static_cast<long>(UINT32_MAX))
            return 0;
        wa->setQueryBit(static_cast<uint32_t>(recNo), value != 0);
        return 1;
    });
}

SDEAPI short sx_SetRelation(short, const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_SetRelation"); });
}
SDEAPI short sx_SetScope(const char*, const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_SetScope"); });
}

SDEAPI void sx_SetUDFPath(const char* path)
{
    guard([&] { udfPath() = text(path); });
}

SDEAPI const char* sx_GetUDFPath(void)
{
    return guard<const char*>("", [&]() -> const char* { return udfPath().c_str(); });
}

SDEAPI short sx_TagArea(const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_TagArea"); });
}
SDEAPI short sx_TagDelete(const char*)
{
    return guard<short>(0, [&]() -> short { return notSupported("sx_TagDelete"); });
}

SDEAPI const char* sx_TagName(short)
{
    return guard<const char*>("", [&]() -> const char* { return ""; });
}

SDEAPI void sx_Zap(void)
{
    guard([&] { notSupported("sx_Zap"); });
}

}  // extern "C"
