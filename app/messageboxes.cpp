#include "messageboxes.h"

#include "boxtext.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>

void MessageBoxes::warn(const QString &title, const QString &text)
{
    build(QMessageBox::Warning, title, text, QString(), m_parent)->exec();
}

void MessageBoxes::error(const QString &title, const QString &text, const QString &detail,
                         const QString &reason)
{
    build(QMessageBox::Critical, title, text, detail, m_parent, reason)->exec();
}

std::unique_ptr<QMessageBox> MessageBoxes::build(QMessageBox::Icon icon, const QString &title,
                                                 const QString &text, const QString &detail,
                                                 QWidget *parent, const QString &reason)
{
    auto box = std::make_unique<QMessageBox>(icon, title, text, QMessageBox::Ok, parent);
    // A port name is shown as typed, even when it looks like markup.
    box->setTextFormat(Qt::PlainText);
    // The box comes up on its parent's screen; measure in the font its text is drawn in.
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    BoxText::Fitted shown{text, reason};
    if (screen) {
        const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        const QFontMetrics metrics = label ? label->fontMetrics() : box->fontMetrics();
        shown = BoxText::fittedWithReason(text, reason, metrics,
                                          BoxText::room(screen->availableGeometry()));
        box->setText(shown.text);
    }
    if (!reason.isEmpty()) {
        box->setInformativeText(shown.reason);
        // The reason names the device as typed too.
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
    }
    const QString fullDetail =
        BoxText::detail(text, shown.text, BoxText::detail(reason, shown.reason, detail));
    if (!fullDetail.isEmpty())
        box->setDetailedText(fullDetail);
    return box;
}
