#include "cp1251validator.h"

#include "beep.h"
#include "store/Cp1251.h"

namespace emlo {

QValidator::State Cp1251Validator::validate(QString& input, int&) const
{
    if (!firstNonCp1251Char(input).isNull()) {
        Beep();
        return Invalid;
    }
    return Acceptable;
}

}  // namespace emlo
