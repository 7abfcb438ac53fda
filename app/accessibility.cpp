#include "accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>

namespace {

// A list, named by its label like a text box. Its parts are those Qt gives a list: the
// drop-down's entries, then the edit field.
class ListInterface : public QAccessibleWidget
{
public:
    explicit ListInterface(QComboBox *list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        // The name comes as for any widget: the accessible name, else the label whose buddy
        // the list is, else the frame's caption.
        if (t == QAccessible::Value)
            return list()->currentText();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = list()->view()->isVisible();
        s.editable = list()->isEditable();
        return s;
    }

    int childCount() const override { return list()->lineEdit() ? 2 : 1; }

    QAccessibleInterface *child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(list()->view());
        if (index == 1 && list()->lineEdit())
            return QAccessible::queryAccessibleInterface(list()->lineEdit());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        if (child->object() == list()->view())
            return 0;
        if (list()->lineEdit() && child->object() == list()->lineEdit())
            return 1;
        return -1;
    }

    // The edit field has the keyboard focus whenever the list has it.
    QAccessibleInterface *focusChild() const override
    {
        return list()->lineEdit() && list()->hasFocus() ? child(1) : nullptr;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (list()->view()->isVisible())
            list()->hidePopup();
        else
            list()->showPopup();
    }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(object()); }
};

// The widgets of a frame the reader is shown: all but those hidden for good.
QList<QWidget *> shownChildren(const QWidget *frame)
{
    QList<QWidget *> children;
    for (QObject *object : frame->children()) {
        auto *widget = qobject_cast<QWidget *>(object);
        if (widget && !widget->isWindow() && !widget->isHidden())
            children.append(widget);
    }
    return children;
}

bool holdsHiddenControl(const QWidget *frame)
{
    for (QObject *object : frame->children()) {
        auto *widget = qobject_cast<QWidget *>(object);
        if (widget && !widget->isWindow() && widget->isHidden())
            return true;
    }
    return false;
}

// A frame as Qt presents one (a grouping named by its caption, labelling what it holds),
// without the controls it holds hidden.
class FrameInterface : public QAccessibleWidget
{
public:
    explicit FrameInterface(QGroupBox *frame) : QAccessibleWidget(frame, QAccessible::Grouping) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && frame()->accessibleName().isEmpty())
            return frame()->title();
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return int(shownChildren(widget()).size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> children = shownChildren(widget());
        if (index < 0 || index >= children.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(shownChildren(widget()).indexOf(static_cast<QWidget *>(child->object())));
    }

    QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        auto found = QAccessibleWidget::relations(match);
        if ((match & QAccessible::Labelled) && !frame()->title().isEmpty()) {
            for (QWidget *child : shownChildren(widget())) {
                if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(child))
                    found.append({iface, QAccessible::Labelled});
            }
        }
        return found;
    }

private:
    QGroupBox *frame() const { return static_cast<QGroupBox *>(object()); }
};

QAccessibleInterface *interfaceFor(const QString &className, QObject *object)
{
    if (className == QLatin1String("QComboBox"))
        return new ListInterface(static_cast<QComboBox *>(object));
    // Other frames keep Qt's own interface.
    if (className == QLatin1String("QGroupBox") && holdsHiddenControl(static_cast<QWidget *>(object)))
        return new FrameInterface(static_cast<QGroupBox *>(object));
    return nullptr;
}

} // namespace

namespace Accessibility {

void install()
{
    QAccessible::installFactory(interfaceFor);
}

void nameListFields(QWidget *window)
{
    for (QComboBox *list : window->findChildren<QComboBox *>()) {
        if (list->lineEdit() && !list->isHidden())
            list->lineEdit()->setAccessibleName(
                QAccessible::queryAccessibleInterface(list)->text(QAccessible::Name));
    }
}

} // namespace Accessibility
