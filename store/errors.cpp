#include "errors.h"

namespace emlo {

Exception::Exception(const QString& message) : Message(message), m_utf8(message.toUtf8()) { }

const char* Exception::what() const noexcept
{
    return m_utf8.constData();
}

EApolloError::EApolloError(const QString& message, int kind, const QString& detail)
    : Exception(message), Kind(kind), Detail(detail)
{
}

EAbort::EAbort() : Exception(QStringLiteral("Operation aborted")) { }

void Abort()
{
    throw EAbort();
}

QString ErrorText(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const Exception*>(&error))
        return own->Message;
    return QString::fromUtf8(error.what());
}

}  // namespace emlo
