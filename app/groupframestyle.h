#pragma once

#include <QProxyStyle>

// Draws a frame (group box) the classic way: the caption sits on the top border line at
// the caption's vertical middle, and the line is broken under the caption. The controls
// inside keep their places, measured from the frame's outer corner. Frames with a check
// box are left to the underlying style.
class GroupFrameStyle : public QProxyStyle
{
    Q_OBJECT
public:
    GroupFrameStyle();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                         SubControl subControl, const QWidget *widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                            QPainter *painter, const QWidget *widget) const override;
};
