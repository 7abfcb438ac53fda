#include "textfit.h"

#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>

namespace {

// QLineEdit keeps this many pixels clear on each side of its text (not a style metric).
constexpr int kLineEditSideMargin = 2;

} // namespace

QRect captionRect(QGroupBox *frame)
{
    QStyleOptionGroupBox opt;
    opt.initFrom(frame);
    opt.text = frame->title();
    opt.lineWidth = 1;
    opt.midLineWidth = 0;
    opt.textAlignment = frame->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    opt.features = frame->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
    return frame->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel,
                                          frame);
}

std::optional<int> textRoom(QWidget *widget)
{
    QStyle *style = widget->style();
    if (auto *box = qobject_cast<QGroupBox *>(widget)) {
        // The title is inset from the frame's left edge by the style; it must end that far
        // from the right edge too.
        const QRect label = captionRect(box);
        return box->width() - 2 * qMax(0, label.left());
    }
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        int indent = label->indent();
        if (indent < 0)
            indent = label->frameWidth() > 0 ? label->fontMetrics().horizontalAdvance(u'x') / 2 : 0;
        return label->contentsRect().width() - 2 * label->margin() - indent;
    }
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        // What the style adds around a caption when it sizes a button (frame, margins,
        // default indicator). The option carries no text, so that a style's smallest width
        // for captioned buttons stays out of it.
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.features = QStyleOptionButton::None;
        if (button->autoDefault())
            opt.features |= QStyleOptionButton::AutoDefaultButton;
        if (button->isFlat())
            opt.features |= QStyleOptionButton::Flat;
        const int margins =
            style->sizeFromContents(QStyle::CT_PushButton, &opt, QSize(0, 0), button).width();
        return button->width() - margins;
    }
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        QStyleOptionFrame opt;
        opt.initFrom(edit);
        opt.rect = edit->rect();
        opt.lineWidth =
            edit->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
        opt.midLineWidth = 0;
        const QRect inside = style->subElementRect(QStyle::SE_LineEditContents, &opt, edit);
        const QMargins margins = edit->textMargins();
        // One more pixel for the cursor: a text wider than that scrolls and loses its start.
        return inside.width() - margins.left() - margins.right() - 2 * kLineEditSideMargin - 1;
    }
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return combo->lineEdit() ? textRoom(combo->lineEdit()) : std::nullopt;
    return std::nullopt;
}

QFont shownFont(QWidget *widget)
{
    if (auto *combo = qobject_cast<QComboBox *>(widget); combo && combo->lineEdit())
        return combo->lineEdit()->font();
    return widget->font();
}

QString textMisfit(QWidget *widget, const QString &text)
{
    const std::optional<int> room = textRoom(widget);
    if (!room)
        return QStringLiteral("a %1 is not measured")
            .arg(QLatin1String(widget->metaObject()->className()));
    const QFont font = shownFont(widget);
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    if (needed <= *room)
        return {};
    const QFontInfo info(font);
    return QStringLiteral("\"%1\" needs %2 px, the control gives %3 px; font %4 %5 px")
        .arg(text)
        .arg(needed)
        .arg(*room)
        .arg(info.family())
        .arg(info.pixelSize());
}
