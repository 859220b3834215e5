#include "beep.h"

#include <QApplication>
#include <QToolTip>
#include <QWidget>

namespace emlo {

namespace {
std::function<void()>& beepHook()
{
    static std::function<void()> hook;
    return hook;
}

std::function<void(const QString&)>& refusalHook()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

constexpr char16_t kModifierApostrophe = 0x02BC;
}  // namespace

void Beep()
{
    if (beepHook())
        beepHook()();
    else
        QApplication::beep();
}

void setBeepHook(std::function<void()> hook)
{
    beepHook() = std::move(hook);
}

void RefuseCharacter(QWidget* box, QChar ch)
{
    Beep();
    const QString code = QString::number(ch.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    const QString text =
        QStringLiteral("Символу «%1» (U+%2) немає в кодуванні Windows-1251, тому його не можна зберегти.")
            .arg(QString(ch), code);
    if (refusalHook()) {
        refusalHook()(text);
        return;
    }
    if (box)
        QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), text, box);
}

void setRefusalHook(std::function<void(const QString& text)> hook)
{
    refusalHook() = std::move(hook);
}

QChar TypedApostrophe(QChar ch)
{
    return ch.unicode() == kModifierApostrophe ? QLatin1Char('\'') : ch;
}

QString TypedApostrophes(QString text)
{
    return text.replace(QChar(kModifierApostrophe), QLatin1Char('\''));
}

}  // namespace emlo
