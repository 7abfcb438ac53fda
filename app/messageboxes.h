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
    void error(const QString &title, const QString &text,
               const QString &detail = QString()) override;

    // The box as warn() and error() show it, not shown yet: the title as given, the text
    // shortened in the middle when the whole box would not fit the screen, and then the
    // whole text at the start of the detail.
    static std::unique_ptr<QMessageBox> build(QMessageBox::Icon icon, const QString &title,
                                              const QString &text, const QString &detail,
                                              QWidget *parent);

private:
    QWidget *m_parent;
};
