#pragma once

#include <string>
#include <utility>

namespace xb {

// Why an engine operation failed; callers branch on the kind, users read the message.
enum class ErrorKind {
    Ok,
    NotFound,       // file, field, alias or record does not exist
    Corrupt,        // a file's bytes contradict the format
    Io,             // the operating system refused a read, write or open
    Locked,         // another holder has the lock
    BadExpression,  // syntax or type error in an xBase expression
    BadValue,       // a value does not fit its field
    BadArgument,    // the caller passed something unusable
    ReadOnly,       // write on a table opened read-only
    NoTable,        // the work area holds no table
    Unsupported,    // a feature this engine does not provide
    DiskFull,       // no space left on the medium or over quota
    Access,         // permission denied; read-only file, folder or medium
    Exists,         // creation refused: the file is already there
};

// Result of an operation: Ok, or a kind with a message that names the file or field.
class [[nodiscard]] Status {
public:
    Status() = default;
    static Status error(ErrorKind kind, std::string message) { return Status(kind, std::move(message)); }

    bool ok() const { return m_kind == ErrorKind::Ok; }
    ErrorKind kind() const { return m_kind; }
    const std::string& message() const { return m_message; }

private:
    Status(ErrorKind kind, std::string message) : m_kind(kind), m_message(std::move(message)) { }

    ErrorKind m_kind = ErrorKind::Ok;
    std::string m_message;
};

// A failed system call as a Status: the kind follows errno (ENOSPC is a full disk,
// EACCES a refusal, ...), the message is `what` with the system's text appended.
Status systemError(const std::string& what, int err);

// The kind a failed system call's errno stands for.
ErrorKind kindOfErrno(int err);

}  // namespace xb
