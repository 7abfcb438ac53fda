#pragma once

#include <QObject>

// Shift+F10 opens the context menu of the control that has the focus, as the Menu key
// does, for keyboards without that key.
class ContextMenuKey : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
