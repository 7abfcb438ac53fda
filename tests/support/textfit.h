#pragma once

#include <QFont>
#include <QString>

#include <optional>

class QGroupBox;
class QRect;
class QWidget;

// Whether a text shows whole in a control, measured with the control's own font and the
// style's own margins; the offscreen and the real-window suites use this one measure.

// Pixels of text the control shows without cutting or scrolling: a button's caption,
// a label's text, a frame's title (inset from both edges), a line edit's or a list's text.
// Nothing for any other kind of widget. The room may be negative when the margins alone
// fill the control.
std::optional<int> textRoom(QWidget *widget);

// Where the frame's style puts its caption, in the frame's own coordinates.
QRect captionRect(QGroupBox *frame);

// The font the control draws its text in (a list draws with its line edit's).
QFont shownFont(QWidget *widget);

// Empty when the text fits; otherwise what it needs, what it gets, and the font.
QString textMisfit(QWidget *widget, const QString &text);
