#pragma once

#include <QValidator>

namespace emlo {

// Refuses, with the beep, any change that would put a character into a box
// that Windows-1251 cannot hold: the table could not store it. Pasting and
// dropping go through a validator as typing does.
class Cp1251Validator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

}  // namespace emlo
