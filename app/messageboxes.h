#pragma once

#include "messageseam.h"

#include <QMessageBox>

#include <memory>

class QWidget;

// The program's message boxes: modal, one OK button, with an icon.
class MessageBoxes : public MessageSeam
{
public:
    explicit MessageBoxes(QWidget *parent) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    void warn(const QString &title, const QString &text) override;
    void error(const QString &title, const QString &text, const QString &detail = QString(),
               const QString &reason = QString()) override;

    // The box as warn() and error() show it, not shown yet: the title as given, the text and
    // the reason under it (the box's informative text) each shortened in the middle when the
    // whole box would not fit the screen, and then what was shortened, whole, at the start
    // of the detail.
    static std::unique_ptr<QMessageBox> build(QMessageBox::Icon icon, const QString &title,
                                              const QString &text, const QString &detail,
                                              QWidget *parent,
                                              const QString &reason = QString());

private:
    QWidget *m_parent;
};
