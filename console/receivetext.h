#pragma once

#include "receivedecoder.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Turns received bytes into the text the receive log shows. What the log shows depends
// only on the bytes received since the log was last cleared, never on how they were
// split into reads:
// - GBK (or UTF-8, when chosen) is decoded with state kept across reads;
// - blanks at the very end of what has arrived are held back and shown as soon as more
//   text follows; blanks at the start of an empty log are dropped;
// - CR LF, the module's echo CR CR LF, a lone LF and a lone CR each become one "\n".
class ReceiveText
{
public:
    // The text to append to the log for these bytes (may be empty).
    QString feed(QByteArrayView bytes) { return feedText(m_decoder.decode(bytes)); }
    // The same for text already decoded.
    QString feedText(QStringView text);

    // Something else follows in the log (a note, bytes shown as hex): a character half
    // received (as U+FFFD), the blanks and the break held back come out now, and the text
    // that comes later starts afresh.
    QString endText();

    // Blanks have arrived that are not shown yet.
    bool holdsBlanks() const { return m_heldBlanks > 0; }

    ReceiveDecoder &decoder() { return m_decoder; }

    // The log was emptied: blanks at its start are dropped again, and blanks and a line
    // break held back from before the clear are forgotten.
    void logCleared();

private:
    // Where we are in a line break. A CR shows its break at once; what follows decides
    // whether more bytes belong to the same break.
    enum class LineBreak
    {
        None,
        AfterCr,   // a CR was shown as a break; an LF right after it is part of it
        AfterCrCr, // CR CR: the second CR's break is held until the next character says
                   // whether this is the module's echo CR CR LF (one break) or two lone CRs
    };

    ReceiveDecoder m_decoder;
    qsizetype m_heldBlanks = 0; // blanks at the end of what has arrived, not shown yet
    bool m_logEmpty = true;     // nothing shown since the start or the last clear
    LineBreak m_lineBreak = LineBreak::None;
};
