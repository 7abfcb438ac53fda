#pragma once

#include "logexcerpt.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class QTimer;

// Hands a large copy to the program that pastes it, under the X window system.
//
// Qt's X clipboard hands a large text over in pieces as large as one request may be (16 MB
// where the server takes big requests), and the X server answers the pasting program's
// read of each piece with one reply. The server sends a reply the program does not read
// at once in steps, moving what is left to the front of its buffer at every step: the cost
// grows with the square of the piece, and a 100 MB copy spends seconds in the server.
// Here a copy of more than kPieceBytes is handed over in pieces of at most kPieceBytes, in
// the same protocol; anything else goes to Qt. A piece that large needs big requests, which
// xcb uses wherever the server offers them; a server without them gets pieces as large as
// its requests may be.
// A copy of a log is made a piece at a time as the reader takes it, so that the window
// never spends longer on it than one piece takes.
class LargeCopyServer : public QObject, public QAbstractNativeEventFilter
{
public:
    static constexpr int kPieceBytes = 256 * 1024;
    // A transfer whose reader takes no piece for so long is given up.
    static constexpr int kGiveUpMs = 5000;

    // Serves large copies from now on, once per application, giving up a transfer after
    // giveUpMs; nothing outside X.
    static void install(int giveUpMs = kGiveUpMs);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override;

private:
    LargeCopyServer(QObject *parent, int giveUpMs);
    bool startTransfer(const void *request);
    bool sendPiece(const void *notify);
    void endIdleTransfers();

    struct Transfer
    {
        quint32 property = 0;
        quint32 target = 0;
        QByteArray bytes;    // what is still to be handed over, made already
        qsizetype sent = 0;  // of bytes
        LogExcerpt text;     // the rest of a log's copy, made as it is taken
        bool ending = false; // given up: the reader's next take gets the end
        QElapsedTimer idle;  // since the reader last took a piece
    };
    QByteArray nextPiece(Transfer &transfer);
    void stopWatching(quint32 window);

    void *m_connection = nullptr;
    quint32 m_clipboard = 0;
    quint32 m_utf8 = 0;
    quint32 m_textPlainUtf8 = 0;
    quint32 m_incr = 0;
    QHash<quint32, Transfer> m_transfers; // by the reader's window
    QTimer *m_giveUp = nullptr;
    int m_giveUpMs = kGiveUpMs;
    qsizetype m_pieceBytes = kPieceBytes;
};
