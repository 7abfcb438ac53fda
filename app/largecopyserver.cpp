#include "largecopyserver.h"

#include "logcopy.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <limits>

#include <xcb/xcb.h>

namespace {

xcb_connection_t *connectionOf(void *connection)
{
    return static_cast<xcb_connection_t *>(connection);
}

xcb_atom_t atomNamed(xcb_connection_t *c, const char *name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, false, quint16(qstrlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

void watch(xcb_connection_t *c, xcb_window_t window, quint32 events)
{
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &events);
}

} // namespace

void LargeCopyServer::install(int giveUpMs)
{
    static LargeCopyServer *installed = nullptr;
    if (installed || !qGuiApp)
        return;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    installed = new LargeCopyServer(qGuiApp, giveUpMs);
    installed->m_connection = x11->connection();
    xcb_connection_t *c = x11->connection();
    installed->m_clipboard = atomNamed(c, "CLIPBOARD");
    installed->m_utf8 = atomNamed(c, "UTF8_STRING");
    installed->m_textPlainUtf8 = atomNamed(c, "text/plain;charset=utf-8");
    installed->m_incr = atomNamed(c, "INCR");
    // A piece goes in one ChangeProperty request, 24 bytes before its data; the server's
    // largest request is counted in units of four bytes.
    const qsizetype largest = qsizetype(xcb_get_maximum_request_length(c)) * 4 - 24;
    installed->m_pieceBytes = qMin<qsizetype>(kPieceBytes, largest);
    qGuiApp->installNativeEventFilter(installed);
    QObject::connect(qGuiApp, &QObject::destroyed, [] { installed = nullptr; });
}

LargeCopyServer::LargeCopyServer(QObject *parent, int giveUpMs)
    : QObject(parent), m_giveUp(new QTimer(this)), m_giveUpMs(giveUpMs)
{
    m_giveUp->setInterval(qMax(1, giveUpMs / 4));
    connect(m_giveUp, &QTimer::timeout, this, &LargeCopyServer::endIdleTransfers);
}

bool LargeCopyServer::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
        return startTransfer(event);
    case XCB_PROPERTY_NOTIFY:
        return sendPiece(event);
    case XCB_DESTROY_NOTIFY:
        // A reader that went away takes nothing more.
        m_transfers.remove(static_cast<const xcb_destroy_notify_event_t *>(message)->window);
        return false;
    default:
        return false;
    }
}

bool LargeCopyServer::startTransfer(const void *message)
{
    const auto *request = static_cast<const xcb_selection_request_event_t *>(message);
    const bool clipboard = request->selection == m_clipboard;
    if (!clipboard && request->selection != XCB_ATOM_PRIMARY)
        return false;
    if (request->target != m_utf8 && request->target != m_textPlainUtf8)
        return false;
    if (const auto it = m_transfers.constFind(request->requestor); it != m_transfers.cend()) {
        if (!it->ending)
            return false;
        m_transfers.erase(it);
    }
    QClipboard *board = QGuiApplication::clipboard();
    if (clipboard ? !board->ownsClipboard() : !board->ownsSelection())
        return false;
    const QMimeData *data =
        board->mimeData(clipboard ? QClipboard::Clipboard : QClipboard::Selection);
    if (!data || !data->hasFormat(QStringLiteral("text/plain")))
        return false;
    Transfer transfer;
    qsizetype size = 0;
    if (const auto *copy = qobject_cast<const LogCopy *>(data)) {
        // A log's copy is made as it is taken; the reader is told at least how much comes.
        transfer.text = copy->text();
        size = transfer.text.leastUtf8Bytes();
    } else {
        transfer.bytes = data->data(QStringLiteral("text/plain"));
        size = transfer.bytes.size();
    }
    if (size <= m_pieceBytes || size > std::numeric_limits<qint32>::max())
        return false;

    // The reader is told how much comes, then takes the pieces one by one: each time it
    // deletes the property, the next piece is put there; an empty piece ends the transfer.
    xcb_connection_t *c = connectionOf(m_connection);
    const xcb_atom_t property = request->property ? request->property : request->target;
    watch(c, request->requestor, XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    const quint32 least = quint32(size);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, property, m_incr, 32, 1,
                        &least);
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = property;
    xcb_send_event(c, false, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&notify));
    xcb_flush(c);
    transfer.property = property;
    transfer.target = request->target;
    transfer.idle.start();
    m_transfers.insert(request->requestor, std::move(transfer));
    if (!m_giveUp->isActive())
        m_giveUp->start();
    return true;
}

bool LargeCopyServer::sendPiece(const void *message)
{
    const auto *notify = static_cast<const xcb_property_notify_event_t *>(message);
    const auto it = m_transfers.find(notify->window);
    if (it == m_transfers.end() || notify->atom != it->property)
        return false;
    if (notify->state != XCB_PROPERTY_DELETE)
        return true; // the piece just put there
    // The reader took the last piece: the next one, or an empty one for the end.
    xcb_connection_t *c = connectionOf(m_connection);
    const QByteArray piece = it->ending ? QByteArray() : nextPiece(*it);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, notify->window, it->property, it->target, 8,
                        quint32(piece.size()), piece.constData());
    it->idle.start();
    if (piece.isEmpty()) {
        stopWatching(notify->window);
        m_transfers.erase(it);
    }
    xcb_flush(c);
    return true;
}

QByteArray LargeCopyServer::nextPiece(Transfer &transfer)
{
    while (transfer.bytes.size() - transfer.sent < m_pieceBytes && !transfer.text.atEnd()) {
        if (transfer.sent > 0) {
            transfer.bytes.remove(0, transfer.sent);
            transfer.sent = 0;
        }
        transfer.text.readUtf8(transfer.bytes, m_pieceBytes);
    }
    const qsizetype size = qMin<qsizetype>(m_pieceBytes, transfer.bytes.size() - transfer.sent);
    const QByteArray piece = transfer.bytes.sliced(transfer.sent, size);
    transfer.sent += size;
    return piece;
}

void LargeCopyServer::stopWatching(quint32 window)
{
    watch(connectionOf(m_connection), window, XCB_EVENT_MASK_NO_EVENT);
}

void LargeCopyServer::endIdleTransfers()
{
    // A reader that takes no piece for so long is given up: what it was to be handed is
    // let go, and when it takes the piece it holds, the next one it gets is the end, so
    // that it ends rather than waits for ever. A reader whose window goes is forgotten.
    for (Transfer &transfer : m_transfers) {
        if (!transfer.ending && transfer.idle.elapsed() >= m_giveUpMs) {
            transfer.ending = true;
            transfer.bytes = QByteArray();
            transfer.sent = 0;
            transfer.text = LogExcerpt();
        }
    }
    const bool waiting = std::any_of(m_transfers.cbegin(), m_transfers.cend(),
                                     [](const Transfer &transfer) { return !transfer.ending; });
    if (!waiting)
        m_giveUp->stop();
}
