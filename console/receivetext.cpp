#include "receivetext.h"

namespace {

constexpr char16_t kBlank = u' ';
constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

} // namespace

QString ReceiveText::feedText(QStringView text)
{
    QString shown;
    if (text.isEmpty())
        return shown;

    // Each character shows as at most one character, plus the blanks held from before
    // and the held break of a second CR: one allocation, written through a pointer.
    shown.resize(text.size() + m_heldBlanks + 1);
    QChar *const first = shown.data();
    QChar *out = first;

    qsizetype held = m_heldBlanks;
    LineBreak lineBreak = m_lineBreak;
    const bool logWasEmpty = m_logEmpty;

    const QChar *in = text.constData();
    const QChar *const inEnd = in + text.size();
    while (in < inEnd) {
        // Most of what arrives is printable text outside any line break: copy it straight.
        if (lineBreak == LineBreak::None && held == 0) {
            while (in < inEnd && in->unicode() > kBlank)
                *out++ = *in++;
            if (in == inEnd)
                break;
        }
        const QChar character = *in++;
        const char16_t unit = character.unicode();

        if (lineBreak == LineBreak::AfterCrCr) {
            if (unit == kLf) {
                // The module's echo: CR CR LF is one break, shown with the first CR.
                lineBreak = LineBreak::None;
                continue;
            }
            // Two lone CRs: the second one's break, and it may start a CR LF of its own.
            *out++ = QChar(kLf);
            lineBreak = LineBreak::AfterCr;
        }
        if (lineBreak == LineBreak::AfterCr) {
            if (unit == kLf) {
                lineBreak = LineBreak::None;
                continue;
            }
            if (unit == kCr) {
                lineBreak = LineBreak::AfterCrCr;
                continue;
            }
            lineBreak = LineBreak::None;
        }

        if (unit == kBlank) {
            // Dropped at the start of an empty log, otherwise kept back until more text
            // follows, so that trailing blanks never show and no inner blank is lost.
            if (!(logWasEmpty && out == first))
                ++held;
            continue;
        }
        for (; held > 0; --held)
            *out++ = QChar(kBlank);
        if (unit == kCr) {
            // Shown at once, so that a device ending its lines with CR alone shows each
            // line as it comes; an LF right after it is then part of the same break.
            *out++ = QChar(kLf);
            lineBreak = LineBreak::AfterCr;
        } else {
            *out++ = character;
        }
    }

    m_heldBlanks = held;
    m_lineBreak = lineBreak;
    if (out != first)
        m_logEmpty = false;
    shown.truncate(out - first);
    return shown;
}

QString ReceiveText::endText()
{
    // A character half received comes out as it stands (U+FFFD), then what is held back.
    QString held = feedText(m_decoder.flush());
    held += QString(m_heldBlanks, QChar(kBlank));
    if (m_lineBreak == LineBreak::AfterCrCr)
        held += QChar(kLf);
    m_heldBlanks = 0;
    m_lineBreak = LineBreak::None;
    m_logEmpty = false;
    return held;
}

void ReceiveText::logCleared()
{
    m_logEmpty = true;
    m_heldBlanks = 0;
    // A break half seen before the clear belongs to the text that was cleared: the held
    // break of a second CR is forgotten, so the emptied log does not start with an empty
    // line, while an LF still on its way stays part of that break and shows nothing.
    if (m_lineBreak == LineBreak::AfterCrCr)
        m_lineBreak = LineBreak::AfterCr;
}
