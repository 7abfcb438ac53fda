#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <memory>

class WireDecoder;

// Received bytes to characters, as one stream that arrives in reads: GBK, the wire's code
// page, or UTF-8 (a web page fetched through the module). A character split between two
// reads comes out whole; bytes that are no character come out as U+FFFD. A character half
// received when the encoding changes is finished in the encoding it began in.
class ReceiveDecoder
{
public:
    enum class Encoding
    {
        Gbk,
        Utf8,
    };

    ReceiveDecoder();
    ~ReceiveDecoder();
    Q_DISABLE_COPY_MOVE(ReceiveDecoder)

    // The encoding of the characters that begin after this.
    void setEncoding(Encoding encoding) { m_next = encoding; }

    QString decode(QByteArrayView bytes);

    // The bytes decoded so far end in the middle of a character.
    bool midCharacter() const { return !m_partial.isEmpty(); }
    // Ends the character half received, if any, before something else takes over: the
    // bytes at the start of `bytes` that go on with it are decoded into `text` and taken
    // off; a character they do not complete comes out as U+FFFD. False when `bytes` ran
    // out first: the character is still half received.
    bool finishCharacter(QByteArrayView &bytes, QString &text);
    // The character half received, if any, as U+FFFD; the stream starts afresh after it.
    QString flush();

private:
    QString decodeNow(QByteArrayView bytes);
    // How many bytes at the start of `next` belong to the character half received: none
    // when there is none, or when `next` does not go on with it.
    qsizetype continuing(QByteArrayView next) const;

    Encoding m_encoding = Encoding::Gbk;
    Encoding m_next = Encoding::Gbk;
    std::unique_ptr<WireDecoder> m_gbk;
    QStringDecoder m_utf8;
    QByteArray m_partial; // the bytes of the character half received
};
