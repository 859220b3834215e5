#pragma once

// Errors travel as exceptions carrying the message text that the user sees.
// A command catches Exception at its top and shows Message (EAbort excepted).

#include <exception>

#include <QByteArray>
#include <QString>

namespace emlo {

class Exception : public std::exception {
public:
    explicit Exception(const QString& message);
    const char* what() const noexcept override;  // Message in UTF-8

    QString Message;

private:
    QByteArray m_utf8;
};

// Errors of the table layer (texts such as "Record Lock Failure. May be locked
// by another user or task."). The table also keeps the text as LastErrorText.
// A failed engine call carries the engine's outcome kind (SX_ERR_... of
// sde.h) and the engine's own text as Detail; Message is the program's text.
class EApolloError : public Exception {
public:
    explicit EApolloError(const QString& message, int kind = 0, const QString& detail = QString());

    int Kind = 0;    // 0: an error of the layer itself
    QString Detail;  // the engine's own words, for logs and tests; not shown
};

// Dataset and field errors that are not the engine's: a value a field refuses
// ("'abc' is not a valid floating point value for field '...'"), a text that
// Windows-1251 cannot hold, a field that does not exist.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// An input/output failure outside the table layer (e.g. changing the current folder).
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// The silent abort: a handler (BeforePost above all) throws it to cancel an
// operation without a message. Whoever shows errors must ignore it.
class EAbort : public Exception {
public:
    EAbort();
};

// The text of any error for a user: an Exception's Message, otherwise what
// the standard library's exception says (UTF-8).
QString ErrorText(const std::exception& error);

// Throws EAbort.
[[noreturn]] void Abort();

}  // namespace emlo
