#pragma once

#include "messageseam.h"

class QWidget;

// The program's message boxes: modal, one OK button, with an icon.
class MessageBoxes : public MessageSeam
{
public:
    explicit MessageBoxes(QWidget *parent) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    void warn(const QString &title, const QString &text) override;
    void error(const QString &title, const QString &text,
               const QString &detail = QString()) override;

private:
    QWidget *m_parent;
};
