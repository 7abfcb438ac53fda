#include "largecopyserver.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <QtGui/qguiapplication_platform.h>

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

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

void LargeCopyServer::install()
{
    static LargeCopyServer *installed = nullptr;
    if (installed || !qGuiApp)
        return;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    installed = new LargeCopyServer(qGuiApp);
    installed->m_connection = x11->connection();
    xcb_connection_t *c = x11->connection();
    installed->m_clipboard = atomNamed(c, "CLIPBOARD");
    installed->m_utf8 = atomNamed(c, "UTF8_STRING");
    installed->m_textPlainUtf8 = atomNamed(c, "text/plain;charset=utf-8");
    installed->m_incr = atomNamed(c, "INCR");
    qGuiApp->installNativeEventFilter(installed);
    QObject::connect(qGuiApp, &QObject::destroyed, [] { installed = nullptr; });
}

LargeCopyServer::LargeCopyServer(QObject *parent) : QObject(parent), m_giveUp(new QTimer(this))
{
    m_giveUp->setInterval(kGiveUpMs);
    connect(m_giveUp, &QTimer::timeout, this, &LargeCopyServer::dropIdleTransfers);
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
    if (m_transfers.contains(request->requestor))
        return false;
    QClipboard *board = QGuiApplication::clipboard();
    if (clipboard ? !board->ownsClipboard() : !board->ownsSelection())
        return false;
    const QMimeData *data =
        board->mimeData(clipboard ? QClipboard::Clipboard : QClipboard::Selection);
    if (!data || !data->hasFormat(QStringLiteral("text/plain")))
        return false;
    // Text a log copied is held as UTF-8 already, and this takes no copy of it.
    QByteArray bytes = data->data(QStringLiteral("text/plain"));
    if (bytes.size() <= kPieceBytes || bytes.size() > std::numeric_limits<qint32>::max())
        return false;

    // The reader is told how much comes, then takes the pieces one by one: each time it
    // deletes the property, the next piece is put there; an empty piece ends the transfer.
    xcb_connection_t *c = connectionOf(m_connection);
    const xcb_atom_t property = request->property ? request->property : request->target;
    const quint32 events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, request->requestor, XCB_CW_EVENT_MASK, &events);
    const quint32 size = quint32(bytes.size());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, property, m_incr, 32, 1,
                        &size);
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
    m_transfers.insert(request->requestor,
                       Transfer{property, request->target, std::move(bytes), 0, nowMs()});
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
    xcb_connection_t *c = connectionOf(m_connection);
    const qsizetype piece = qMin<qsizetype>(kPieceBytes, it->bytes.size() - it->sent);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, notify->window, it->property, it->target, 8,
                        quint32(piece), it->bytes.constData() + it->sent);
    it->sent += piece;
    it->lastMs = nowMs();
    if (piece == 0) {
        const quint32 events = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(c, notify->window, XCB_CW_EVENT_MASK, &events);
        m_transfers.erase(it);
    }
    xcb_flush(c);
    return true;
}

void LargeCopyServer::dropIdleTransfers()
{
    // A reader that went away takes no more pieces; its copy of the text is let go.
    const qint64 now = nowMs();
    m_transfers.removeIf(
        [now](const auto &entry) { return now - entry.value().lastMs >= kGiveUpMs; });
    if (m_transfers.isEmpty())
        m_giveUp->stop();
}
