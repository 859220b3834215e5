#include "frdocument.h"

namespace emlo::print {

QVector<const TfrPlacedBox*> TfrPage::boxesWithText(const QString& text) const
{
    QVector<const TfrPlacedBox*> out;
    for (const TfrPlacedBox& b : boxes) {
        if (b.text == text)
            out.append(&b);
    }
    return out;
}

const TfrPlacedBox* TfrPage::box(const QString& band, const QString& name) const
{
    for (const TfrPlacedBox& b : boxes) {
        if (b.band == band && b.name == name)
            return &b;
    }
    return nullptr;
}

QVector<const TfrPlacedBox*> TfrPage::boxesOfBand(const QString& band) const
{
    QVector<const TfrPlacedBox*> out;
    for (const TfrPlacedBox& b : boxes) {
        if (b.band == band)
            out.append(&b);
    }
    return out;
}

}  // namespace emlo::print
