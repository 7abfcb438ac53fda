#include "messageboxes.h"

#include "detailbuttontexts.h"

#include <QMessageBox>

void MessageBoxes::warn(const QString &title, const QString &text)
{
    QMessageBox::warning(m_parent, title, text, QMessageBox::Ok);
}

void MessageBoxes::error(const QString &title, const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, m_parent);
    if (!detail.isEmpty()) {
        DetailButtonTexts::install();
        box.setDetailedText(detail);
    }
    box.exec();
}
