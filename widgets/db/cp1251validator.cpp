#include "cp1251validator.h"

#include <QWidget>

#include "beep.h"
#include "store/cp1251.h"

namespace emlo {

QValidator::State Cp1251Validator::validate(QString& input, int&) const
{
    input = TypedApostrophes(input);
    const QChar refused = firstNonCp1251Char(input);
    if (!refused.isNull()) {
        // A paste is refused whole; the user is told which character is the cause.
        RefuseCharacter(qobject_cast<QWidget*>(parent()), refused);
        return Invalid;
    }
    return Acceptable;
}

}  // namespace emlo
