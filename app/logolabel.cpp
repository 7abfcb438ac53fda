#include "logolabel.h"

#include <QMouseEvent>

LogoLabel::LogoLabel(QWidget *parent) : QLabel(parent)
{
    // The picture fills the label whatever its proportions; the logo is a link, not a field.
    setScaledContents(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void LogoLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    event->accept();
}

void LogoLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    // Like a button: the click counts only when the press started here and the release
    // happens over the logo, so dragging off it cancels.
    const bool click = m_pressed && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}
