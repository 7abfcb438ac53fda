#include "narrowarrowstyle.h"

#include <QComboBox>
#include <QStyleOptionComboBox>

NarrowArrowStyle::NarrowArrowStyle() = default;

QRect NarrowArrowStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                       SubControl subControl, const QWidget *widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
    if (control != CC_ComboBox ||
        (subControl != SC_ComboBoxArrow && subControl != SC_ComboBoxEditField))
        return rect;
    const QRect arrow = QProxyStyle::subControlRect(control, option, SC_ComboBoxArrow, widget);
    const int spare = arrow.width() - kArrowWidth;
    if (spare <= 0)
        return rect;
    // The arrow keeps its outer edge; the text field grows into what the arrow gives up.
    const bool leftToRight = option->direction != Qt::RightToLeft;
    if (subControl == SC_ComboBoxArrow)
        return leftToRight ? rect.adjusted(spare, 0, 0, 0) : rect.adjusted(0, 0, -spare, 0);
    return leftToRight ? rect.adjusted(0, 0, spare, 0) : rect.adjusted(-spare, 0, 0, 0);
}

void narrowTheArrow(QComboBox *list)
{
    // Note for styles that cache their drawing by size (Fusion does): no other list of the
    // window has the stop-bit list's size, so no cached drawing with the wide arrow is
    // shared with it.
    auto *style = new NarrowArrowStyle;
    style->setParent(list);
    list->setStyle(style);
}
