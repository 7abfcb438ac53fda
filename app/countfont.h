#pragma once

#include <QFont>
#include <QString>

// The traffic counters have a fixed width and must show every digit of any count. A count
// that does not fit in the design font is shown narrower (condensed), and then smaller,
// never below a readable floor; it is never cut, elided or wrapped.
namespace CountFont {

// How far a count may be squeezed: to this share of the font's normal width...
constexpr int kMinStretch = 60;
// ...and then down to this share of the design size, in kSizeSteps steps.
constexpr qreal kMinSizeShare = 0.75;
constexpr int kSizeSteps = 4;

// The widest font at which `text` fits `room` pixels: the design font itself when the text
// fits it; otherwise the first of the narrower, then smaller, fonts that fits; the most
// squeezed one when none does.
QFont fitting(const QFont &design, const QString &text, int room);

} // namespace CountFont
