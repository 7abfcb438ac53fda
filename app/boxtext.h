#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>

// A message box must fit the screen whatever it names: a port name can be any length.
namespace BoxText {

// The text as shown: the text itself when, word-wrapped at room's width, it fits `room`;
// otherwise its start and its end with "…" between, as much of both as fits.
QString fitted(const QString &text, const QFontMetrics &metrics, const QSize &room);

// A text and the reason shown under it, fitted into one room: the text takes what it needs
// of up to half the room, the reason what the text leaves below it. Either is shortened as
// fitted() does; an empty reason stays empty and leaves the text the whole room.
struct Fitted
{
    QString text;
    QString reason;
};
Fitted fittedWithReason(const QString &text, const QString &reason, const QFontMetrics &metrics,
                        const QSize &room);

// The room a box's text may take on a screen whose free area is `available`: what is left
// of a box as wide as the box ever gets once its icon, button row, title bar and margins
// are taken off. Never less than a few lines.
QSize room(const QRect &available);

// The detail a box carries: when its text had to be shortened, the whole text comes first,
// then the detail passed in.
QString detail(const QString &text, const QString &shown, const QString &detail);

} // namespace BoxText
