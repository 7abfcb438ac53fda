#include "messageboxes.h"

#include <QMessageBox>

void MessageBoxes::warn(const QString &title, const QString &text)
{
    QMessageBox::warning(m_parent, title, text, QMessageBox::Ok);
}

void MessageBoxes::error(const QString &title, const QString &text)
{
    QMessageBox::critical(m_parent, title, text, QMessageBox::Ok);
}
