#pragma once

#include <functional>

#include <QChar>
#include <QString>

class QWidget;

namespace emlo {

// The system's default beep, sounded when a control refuses a typed
// character. Tests install a hook to count the beeps; the hook replaces the
// sound while installed.
void Beep();
void setBeepHook(std::function<void()> hook);

// Refuses a character that Windows-1251 cannot hold: the beep, and a tooltip
// at the box saying why. Tests install a hook that receives the text instead
// of the tooltip.
void RefuseCharacter(QWidget* box, QChar ch);
void setRefusalHook(std::function<void(const QString& text)> hook);

// The modifier apostrophe (U+02BC) that Ukrainian keyboard layouts type in
// names is taken as the apostrophe ('); other characters pass unchanged.
QChar TypedApostrophe(QChar ch);
QString TypedApostrophes(QString text);

}  // namespace emlo
