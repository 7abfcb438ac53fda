#include "groupframestyle.h"

#include <QPainter>
#include <QStyleOptionGroupBox>
#include <qdrawutil.h>

namespace {

constexpr int kCaptionIndent = 8; // from the frame's left edge to where the line breaks
constexpr int kCaptionGap = 2;    // between the line's end and the caption, each side

// The frames this style draws itself: every group box without a check box.
const QStyleOptionGroupBox *drawnHere(QStyle::ComplexControl control,
                                      const QStyleOptionComplex *option)
{
    if (control != QStyle::CC_GroupBox)
        return nullptr;
    const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
    if (!box || (box->subControls & QStyle::SC_GroupBoxCheckBox))
        return nullptr;
    return box;
}

} // namespace

GroupFrameStyle::GroupFrameStyle() = default;

QRect GroupFrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                      SubControl subControl, const QWidget *widget) const
{
    const QStyleOptionGroupBox *box = drawnHere(control, option);
    if (!box)
        return QProxyStyle::subControlRect(control, option, subControl, widget);

    const QRect outer = box->rect;
    const int captionHeight = box->fontMetrics.height();
    switch (subControl) {
    case SC_GroupBoxLabel: {
        if (box->text.isEmpty())
            return {};
        const int width = box->fontMetrics.size(Qt::TextShowMnemonic, box->text).width();
        return QRect(outer.left() + kCaptionIndent + kCaptionGap, outer.top(), width,
                     captionHeight);
    }
    case SC_GroupBoxFrame:
        // The top line runs through the caption's vertical middle.
        return outer.adjusted(0, captionHeight / 2, 0, 0);
    case SC_GroupBoxContents:
        return outer.adjusted(2, captionHeight, -2, -2);
    default:
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    }
}

void GroupFrameStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                         QPainter *painter, const QWidget *widget) const
{
    const QStyleOptionGroupBox *box = drawnHere(control, option);
    if (!box) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget);
    const QRect caption = subControlRect(control, option, SC_GroupBoxLabel, widget);

    // An etched line, broken where the caption sits.
    painter->save();
    if (caption.isValid())
        painter->setClipRegion(QRegion(box->rect) -
                               caption.adjusted(-kCaptionGap, 0, kCaptionGap, 0));
    if (box->features & QStyleOptionFrame::Flat)
        qDrawShadeLine(painter, frame.left(), frame.top(), frame.right(), frame.top(), box->palette,
                       true, 1, 0);
    else
        qDrawShadeRect(painter, frame, box->palette, true, 1, 0);
    painter->restore();

    if (caption.isValid()) {
        QPalette palette = box->palette;
        if (box->textColor.isValid())
            palette.setColor(QPalette::WindowText, box->textColor);
        proxy()->drawItemText(painter, caption,
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette,
                              box->state & State_Enabled, box->text, QPalette::WindowText);
    }
}
