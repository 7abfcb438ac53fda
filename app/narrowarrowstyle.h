#pragma once

#include <QProxyStyle>

class QComboBox;

// A list's drop-down arrow drawn narrower than the style's own, the room going to the
// list's text: the stop-bit list is 41 px wide, and the usual arrow leaves "1.5" short.
// Everything else is drawn by the underlying style. The list keeps its place and size.
class NarrowArrowStyle : public QProxyStyle
{
    Q_OBJECT
public:
    static constexpr int kArrowWidth = 13;

    NarrowArrowStyle();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                         SubControl subControl, const QWidget *widget) const override;
};

// Gives the list a narrow arrow of its own (the style belongs to the list).
void narrowTheArrow(QComboBox *list);
