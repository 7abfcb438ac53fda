#include "countfont.h"

#include <QFontMetrics>

namespace CountFont {

namespace {

constexpr int kStretchStep = 5;

QFont sized(const QFont &design, qreal share)
{
    QFont font = design;
    if (design.pointSizeF() > 0)
        font.setPointSizeF(design.pointSizeF() * share);
    else if (design.pixelSize() > 0)
        font.setPixelSize(qMax(1, qRound(design.pixelSize() * share)));
    return font;
}

bool fits(const QFont &font, const QString &text, int room)
{
    return QFontMetrics(font).horizontalAdvance(text) <= room;
}

} // namespace

QFont fitting(const QFont &design, const QString &text, int room)
{
    if (fits(design, text, room))
        return design;
    // Narrower first: the digits keep their height, which reads better than a smaller font.
    QFont font = design;
    for (int stretch = 100 - kStretchStep; stretch >= kMinStretch; stretch -= kStretchStep) {
        font.setStretch(stretch);
        if (fits(font, text, room))
            return font;
    }
    for (int step = 1; step <= kSizeSteps; ++step) {
        font = sized(design, 1.0 - (1.0 - kMinSizeShare) * step / kSizeSteps);
        font.setStretch(kMinStretch);
        if (fits(font, text, room))
            return font;
    }
    return font;
}

} // namespace CountFont
