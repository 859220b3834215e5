#include "keychar.h"

#include <QKeyEvent>

namespace emlo {

std::optional<QChar> TypedChar(const QKeyEvent* event)
{
    const int key = event->key();
    switch (key) {
    case Qt::Key_Backspace: return QChar(8);
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(13);
    case Qt::Key_Escape: return QChar(27);
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return std::nullopt;
    default: break;
    }
    const auto modifiers = event->modifiers();
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier)) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return QChar(char16_t(key - Qt::Key_A + 1));
        return std::nullopt;
    }
    const QString text = event->text();
    if (text.isEmpty() || !IsPrintable(text.at(0)))
        return std::nullopt;
    return text.at(0);
}

QString QtInputMask(const QString& editMask)
{
    const QStringList parts = editMask.split(QLatin1Char(';'));
    const QString mask = parts.value(0);
    QString result;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar ch = mask.at(i);
        switch (ch.unicode()) {
        case '9': result += QLatin1Char('0'); break;  // digit, optional
        case '0': result += QLatin1Char('9'); break;  // digit, required
        case 'L': result += QLatin1Char('A'); break;  // letter, required
        case 'l': result += QLatin1Char('a'); break;  // letter, optional
        case 'A': result += QLatin1Char('N'); break;  // letter or digit, required
        case 'a': result += QLatin1Char('n'); break;  // letter or digit, optional
        case 'C': result += QLatin1Char('X'); break;  // any character, required
        case 'c': result += QLatin1Char('x'); break;  // any character, optional
        case '#': result += QLatin1Char('#'); break;  // digit or sign, optional
        case '\\':
            if (i + 1 < mask.size())
                result += QLatin1Char('\\') + mask.at(++i);
            break;
        default:
            // Qt gives these letters a meaning of their own: escape them as literals.
            if (QStringLiteral("AaNnXx90Dd#HhBb><!{}[]").contains(ch))
                result += QLatin1Char('\\');
            result += ch;
            break;
        }
    }
    const QString blank = parts.value(2);
    if (!blank.isEmpty())
        result += QLatin1Char(';') + blank.at(0);
    return result;
}

}  // namespace emlo
