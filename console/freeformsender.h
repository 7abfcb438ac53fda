#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class Transmitter;

// Sending what the user typed into the input box: as a payload announced by
// "AT+CIPSEND=" and following 500 ms later, or as raw text. A line break typed in the box
// goes on the wire as CR LF.
class FreeFormSender : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPayloadDelayMs = 500;

    // Sends through `transmitter` what `inputText` gives, and holds the payload of "AT发送"
    // back with `timer5`, which its owner keeps and which is made Timer5 here: single-shot,
    // kPayloadDelayMs, disabled.
    FreeFormSender(Transmitter &transmitter, std::function<QString()> inputText, QTimer &timer5);

    // "AT发送": announce the byte length of the input now; the payload goes at the tick.
    void clickAtSend();
    // "文本发送": the input unchanged, no terminator.
    void clickTextSend();

private:
    void tick();

    Transmitter &m_transmitter;
    std::function<QString()> m_inputText;
    QTimer &m_timer; // Timer5: one tick per enabling
};

// The input box's text as it goes on the wire: each line break becomes CR LF.
QString inputToWire(const QString &boxText);
