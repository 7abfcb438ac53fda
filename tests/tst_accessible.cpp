// What a screen reader is told about the window, read through Qt's accessibility interface
// as the accessibility bus reads it: every control a person can reach has a name of its own
// (a text box or a list its label's, without the list's padding blanks, and the list's edit
// field the same; a button its caption), controls that share a name are told apart by a
// description naming their frame, and the hidden port-name list is not in the tree at all.
#include "windowharness.h"

#include <QAccessible>
#include <QGroupBox>
#include <QRegularExpression>
#include <QtTest>

namespace {

// One node of the tree as the reader walks it from the window.
struct Node
{
    QObject *object = nullptr;
    QString name;
    QString description;
    QString value;
    bool consistent = true; // the node's parent and index lead back to where it was found
};

void walk(QAccessibleInterface *iface, QList<Node> &nodes, int depth = 0)
{
    QVERIFY2(depth < 20, "the tree does not end");
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        QVERIFY2(child, qPrintable(QStringLiteral("child %1 of \"%2\" is missing")
                                       .arg(i)
                                       .arg(iface->text(QAccessible::Name))));
        QAccessibleInterface *parent = child->parent();
        nodes.append({child->object(), child->text(QAccessible::Name),
                      child->text(QAccessible::Description), child->text(QAccessible::Value),
                      parent && parent->object() == iface->object() &&
                          iface->indexOfChild(child) == i});
        walk(child, nodes, depth + 1);
    }
}

// The window's own controls are named by kind and number (Command14, Text5, Combo4).
bool isControl(const QObject *object)
{
    static const QRegularExpression name(QStringLiteral("^(Command|Text|Combo)\\d+$"));
    return object && object->isWidgetType() && name.match(object->objectName()).hasMatch();
}

bool within(const QObject *object, const QObject *ancestor)
{
    while (object && object != ancestor)
        object = object->parent();
    return object;
}

// The label that stands on the control's line, nearest to its left.
QLabel *labelBeside(QWidget *control)
{
    QLabel *nearest = nullptr;
    for (QLabel *label : control->parentWidget()->findChildren<QLabel *>(
             QString(), Qt::FindDirectChildrenOnly)) {
        const QRect g = label->geometry();
        const bool onItsLine = g.center().y() >= control->geometry().top() &&
                               g.center().y() <= control->geometry().bottom();
        if (onItsLine && g.x() < control->x() && (!nearest || g.x() > nearest->x()))
            nearest = label;
    }
    return nearest;
}

} // namespace

class TstAccessible : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void controlIsNamedForTheReader_data();
    void controlIsNamedForTheReader();

private:
    const Node *nodeOf(const QObject *object) const
    {
        for (const Node &node : m_nodes) {
            if (node.object == object)
                return &node;
        }
        return nullptr;
    }

    // One window, its tree read once as the reader reads it.
    std::unique_ptr<WindowHarness> m_window;
    QList<Node> m_nodes;
};

void TstAccessible::initTestCase()
{
    m_window = std::make_unique<WindowHarness>();
    m_window->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window->window.get()));
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(m_window->window.get());
    QVERIFY(root);
    walk(root, m_nodes);
}

void TstAccessible::controlIsNamedForTheReader_data()
{
    // Every control a person reaches with the Tab key, and the hidden port-name list.
    QTest::addColumn<bool>("shown");
    for (QWidget *widget : m_window->window->findChildren<QWidget *>()) {
        if (isControl(widget))
            QTest::newRow(qPrintable(widget->objectName())) << !widget->isHidden();
    }
}

void TstAccessible::controlIsNamedForTheReader()
{
    QFETCH(bool, shown);
    QWidget *control = m_window->get<QWidget>(QTest::currentDataTag());
    if (!shown) {
        for (const Node &node : m_nodes)
            QVERIFY2(!within(node.object, control),
                     qPrintable("the hidden control is in the tree as \"" + node.name + '"'));
        return;
    }

    const Node *node = nodeOf(control);
    QVERIFY2(node, "the control is not in the tree");
    QVERIFY2(node->consistent, "its parent or its index does not lead back to its frame");
    QVERIFY2(!node->name.isEmpty(), "it has no name");
    QVERIFY2(node->name == node->name.trimmed(), qPrintable("blanks around \"" + node->name + '"'));
    if (auto *button = qobject_cast<QPushButton *>(control))
        QCOMPARE(node->name, button->text());
    else if (QLabel *label = labelBeside(control))
        QCOMPARE(node->name, label->text());
    // A list's text, padding and all, is its value: what the commands are made of. Its edit
    // field, which has the focus whenever the list has it, is named the same.
    if (auto *list = qobject_cast<QComboBox *>(control)) {
        QCOMPARE(node->value, list->currentText());
        const Node *field = nodeOf(list->lineEdit());
        QVERIFY2(field && field->consistent, "its edit field is not in the tree where it is");
        QCOMPARE(field->name, node->name);
    }
    // A description, where there is one, names the frame.
    if (!node->description.isEmpty())
        QCOMPARE(node->description, qobject_cast<QGroupBox *>(control->parentWidget())->title());

    // What the reader says for it (name and description) is said for no other control.
    for (const Node &other : m_nodes) {
        if (other.object != control && isControl(other.object))
            QVERIFY2(other.name != node->name || other.description != node->description,
                     qPrintable(other.object->objectName() + " is read the same"));
    }
}

QTEST_MAIN(TstAccessible)
#include "tst_accessible.moc"
