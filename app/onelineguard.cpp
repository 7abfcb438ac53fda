#include "onelineguard.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

namespace {

// What a one-line box never keeps: control characters, and the characters that show nothing
// themselves but change what the text around them looks like (zero-width characters,
// direction overrides and isolates, the byte-order mark) or break the line (the line and
// paragraph separators). Such a character would sit invisibly in the box and reach the
// wire as "?", or make the screen order differ from the order that goes out.
bool isHidden(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// The character at `at`: one unit, or two for a character beyond the first plane, which
// is judged whole.
char32_t characterAt(QStringView text, qsizetype at, qsizetype *units)
{
    const QChar first = text.at(at);
    if (first.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(first, text.at(at + 1));
    }
    *units = 1;
    return first.unicode();
}

bool holdsHidden(QStringView text)
{
    qsizetype units = 1;
    for (qsizetype i = 0; i < text.size(); i += units) {
        if (isHidden(characterAt(text, i, &units)))
            return true;
    }
    return false;
}

} // namespace

OneLineGuard::OneLineGuard(QLineEdit *box)
    : QValidator(box), m_box(box), m_last(box->text())
{
    // The box's own text is cut too, so that the invariant holds from the start.
    if (keptOfPaste(m_last) != m_last) {
        m_last = keptOfPaste(m_last);
        box->setText(m_last);
    }
    box->installEventFilter(this);
    // An editable list keeps the keyboard focus itself and hands the keys to its field
    // directly, past the field's event filters.
    if (auto *list = qobject_cast<QComboBox *>(box->parentWidget());
        list && list->lineEdit() == box)
        list->installEventFilter(this);
}

qsizetype OneLineGuard::firstLineLength(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if (unit == u'\r' || unit == u'\n')
            return i;
    }
    return text.size();
}

QString OneLineGuard::keptOfPaste(const QString &text)
{
    return shownInOneLine(QStringView(text).left(firstLineLength(text)));
}

QString OneLineGuard::shownInOneLine(QStringView text)
{
    QString kept;
    kept.reserve(text.size());
    qsizetype units = 1;
    for (qsizetype i = 0; i < text.size(); i += units) {
        const char32_t c = characterAt(text, i, &units);
        if (c == U'\t')
            kept += u' ';
        else if (!isHidden(c))
            kept += text.sliced(i, units);
    }
    return kept;
}

QValidator::State OneLineGuard::validate(QString &input, int &pos) const
{
    if (!holdsHidden(input)) {
        m_last = input;
        return Acceptable;
    }

    // Pastes and drops come in already cut (see eventFilter); this catches whatever else
    // puts text in, at the price of the box's undo history.
    // What was typed, pasted or dropped ends at the cursor and starts where the text first
    // differs from what the box held; that holds no hidden character, so the new part is
    // where it came in. Of the new part only what a paste keeps is kept.
    const qsizetype end = qBound(qsizetype(0), qsizetype(pos), input.size());
    qsizetype start = 0;
    const qsizetype common = qMin(end, m_last.size());
    while (start < common && input.at(start) == m_last.at(start))
        ++start;
    const QString inserted = keptOfPaste(input.mid(start, end - start));

    QString kept = keptOfPaste(input.left(start) + inserted + input.mid(end)); // whatever else
    pos = int(qMin(start + inserted.size(), kept.size()));
    input = kept;
    m_last = input;
    return Acceptable;
}

bool OneLineGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (m_box->isReadOnly())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste))
            return pasteKept(QClipboard::Clipboard);
        return false;
    case QEvent::MouseButtonRelease:
        // The middle button pastes the selection where it was pressed.
        if (watched == m_box && static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton &&
            QGuiApplication::clipboard()->supportsSelection()) {
            m_box->deselect();
            return pasteKept(QClipboard::Selection);
        }
        return false;
    case QEvent::ContextMenu: {
        if (watched != m_box || m_box->contextMenuPolicy() != Qt::DefaultContextMenu)
            return false;
        // The box's own menu, with its paste cut like the keys' paste.
        QMenu *menu = m_box->createStandardContextMenu();
        // Its paste entry is known by the box's own caption for it, shortcut aside.
        const QString pasteCaption = QCoreApplication::translate("QLineEdit", "&Paste");
        for (QAction *action : menu->actions()) {
            if (action->text().section(u'\t', 0, 0) != pasteCaption)
                continue;
            disconnect(action, &QAction::triggered, m_box, nullptr);
            connect(action, &QAction::triggered, this, [this] {
                if (!pasteKept(QClipboard::Clipboard))
                    m_box->paste();
            });
        }
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QString text = drop->mimeData()->text();
        if (watched != m_box || keptOfPaste(text) == text)
            return false;
        // The same drop, carrying only what the box keeps.
        QMimeData kept;
        kept.setText(keptOfPaste(text));
        QDropEvent keptDrop(drop->position(), drop->possibleActions(), &kept, drop->buttons(),
                            drop->modifiers());
        keptDrop.setDropAction(drop->dropAction());
        QCoreApplication::sendEvent(m_box, &keptDrop);
        drop->setDropAction(keptDrop.dropAction());
        drop->setAccepted(keptDrop.isAccepted());
        return true;
    }
    default:
        return false;
    }
}

bool OneLineGuard::pasteKept(QClipboard::Mode mode)
{
    const QString text = QGuiApplication::clipboard()->text(mode);
    const QString kept = keptOfPaste(text);
    if (kept == text)
        return false;
    // As the box's paste: nothing to do with nothing kept and nothing selected.
    if (!kept.isEmpty() || m_box->hasSelectedText())
        insertAsOneStep(kept);
    return true;
}

void OneLineGuard::insertAsOneStep(const QString &text)
{
    startNewStep();
    m_box->insert(text);
    startNewStep();
}

void OneLineGuard::startNewStep()
{
    // The box starts a new undo step whenever its cursor moves, which is how its own paste
    // keeps apart from the typing before and after it. Away and back, selection kept.
    if (m_box->text().isEmpty())
        return;
    const int cursor = m_box->cursorPosition();
    const int selectionStart = m_box->selectionStart();
    const int selectionLength = m_box->selectionLength();
    m_box->setCursorPosition(cursor == 0 ? 1 : 0);
    m_box->setCursorPosition(cursor);
    if (selectionLength > 0) {
        if (cursor == selectionStart)
            m_box->setSelection(selectionStart + selectionLength, -selectionLength);
        else
            m_box->setSelection(selectionStart, selectionLength);
    }
}
