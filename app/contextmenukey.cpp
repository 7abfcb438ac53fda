#include "contextmenukey.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

bool ContextMenuKey::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    auto *widget = qobject_cast<QWidget *>(watched);
    if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier || !widget ||
        !widget->isEnabled())
        return false;
    // Where the Menu key puts the menu: at the text cursor, else in the control's middle.
    const QRect cursor = widget->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const QPoint at = cursor.isValid() ? cursor.center() : widget->rect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, widget->mapToGlobal(at),
                           key->modifiers());
    QCoreApplication::sendEvent(widget, &menu);
    return true;
}
