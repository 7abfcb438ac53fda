#include "boxtext.h"

namespace BoxText {

namespace {

const QChar kEllipsis(0x2026);

// Taller than any screen, small enough that no sum overflows.
constexpr int kUnbounded = 1 << 24;

// A message box grows to at most half the screen, and at most this wide, before it wraps.
constexpr int kBoxWidth = 500;
// Icon, spacing and margins beside the text.
constexpr int kBesideText = 120;
// Title bar, margins, the button row and the "show details" button below the text.
constexpr int kAroundText = 220;
constexpr QSize kSmallest(160, 60);

QSize needed(const QString &text, const QFontMetrics &metrics, int width)
{
    return metrics.boundingRect(QRect(0, 0, width, kUnbounded), Qt::TextWordWrap, text).size();
}

bool fits(const QString &text, const QFontMetrics &metrics, const QSize &room)
{
    const QSize size = needed(text, metrics, room.width());
    return size.width() <= room.width() && size.height() <= room.height();
}

// The first and last `keep` code units of the text with "…" between, never splitting a
// character made of two code units.
QString shortened(const QString &text, qsizetype keep)
{
    qsizetype headEnd = keep;
    if (headEnd > 0 && text.at(headEnd - 1).isHighSurrogate())
        --headEnd;
    qsizetype tailStart = text.size() - keep;
    if (tailStart < text.size() && text.at(tailStart).isLowSurrogate())
        ++tailStart;
    return text.left(headEnd) + kEllipsis + text.mid(tailStart);
}

} // namespace

QString fitted(const QString &text, const QFontMetrics &metrics, const QSize &room)
{
    if (fits(text, metrics, room))
        return text;
    // The most of both ends that still fits; with none of them the ellipsis stands alone.
    qsizetype low = 0;
    qsizetype high = (text.size() - 1) / 2;
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (fits(shortened(text, mid), metrics, room))
            low = mid;
        else
            high = mid - 1;
    }
    return shortened(text, low);
}

Fitted fittedWithReason(const QString &text, const QString &reason, const QFontMetrics &metrics,
                        const QSize &room)
{
    if (reason.isEmpty())
        return {fitted(text, metrics, room), QString()};
    const QString shownText = fitted(text, metrics, QSize(room.width(), room.height() / 2));
    // The box puts some space between the text and the reason: a line's worth at most.
    const int below = room.height() - needed(shownText, metrics, room.width()).height() -
                      metrics.lineSpacing();
    const int least = metrics.lineSpacing();
    return {shownText, fitted(reason, metrics, QSize(room.width(), qMax(below, least)))};
}

QSize room(const QRect &available)
{
    const int width = qMin(available.width() / 2, kBoxWidth) - kBesideText;
    const int height = available.height() - kAroundText;
    return QSize(qMax(width, kSmallest.width()), qMax(height, kSmallest.height()));
}

QString detail(const QString &text, const QString &shown, const QString &detail)
{
    if (shown == text)
        return detail;
    if (detail.isEmpty())
        return text;
    return text + QStringLiteral("\n\n") + detail;
}

} // namespace BoxText
