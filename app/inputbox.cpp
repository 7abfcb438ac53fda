#include "inputbox.h"

#include "inputrows.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

namespace {

bool withCtrlOnly(const QKeyEvent *event)
{
    return (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

bool movesByCharOrWord(const QKeyEvent *event)
{
    for (const auto key : {QKeySequence::MoveToNextChar, QKeySequence::MoveToPreviousChar,
                           QKeySequence::SelectNextChar, QKeySequence::SelectPreviousChar,
                           QKeySequence::MoveToNextWord, QKeySequence::MoveToPreviousWord,
                           QKeySequence::SelectNextWord, QKeySequence::SelectPreviousWord}) {
        if (event->matches(key))
            return true;
    }
    return false;
}

} // namespace

InputBox::InputBox(QWidget *parent) : QPlainTextEdit(parent)
{
    connect(document(), &QTextDocument::contentsChange, this, [this](int from, int, int) {
        if (m_editedAt < 0)
            QMetaObject::invokeMethod(this, &InputBox::dropEmptyRows, Qt::QueuedConnection);
        m_editedAt = from;
    });
}

void InputBox::dropEmptyRows()
{
    const int at = std::exchange(m_editedAt, -1);
    QTextBlock block = document()->findBlock(at);
    if (!block.isValid() || block.length() > 1)
        return;
    const bool goesOn = InputRows::goesOn(block);
    const QTextBlock next = block.next();
    if (!goesOn && !(next.isValid() && InputRows::goesOn(next)))
        return; // an empty line of the text
    // The row goes into the one before it, or the next row of its line into it.
    QTextCursor cursor(document());
    cursor.joinPreviousEditBlock();
    cursor.setPosition(goesOn ? block.position() - 1 : block.position());
    cursor.deleteChar();
    cursor.endEditBlock();
}

QString InputBox::typedText() const
{
    return InputRows::text(*document());
}

void InputBox::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (withCtrlOnly(event) && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        sendCursorLine();
        return;
    }
    if (withCtrlOnly(event) && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        browse(key == Qt::Key_Up);
        return;
    }
    if (isReadOnly()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::InsertParagraphSeparator)) {
        // A line break typed after a row that goes on must not go on itself.
        QTextCursor cursor = textCursor();
        InputRows::insertLineBreak(cursor);
        setTextCursor(cursor);
        ensureCursorVisible();
        return;
    }
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection() && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) {
        // Erasing at the border of two rows erases the character beyond it, not the border.
        const int at = key == Qt::Key_Backspace
                           ? InputRows::firstOfPlace(*document(), cursor.position())
                           : InputRows::lastOfPlace(*document(), cursor.position());
        if (at != cursor.position()) {
            cursor.setPosition(at);
            setTextCursor(cursor);
        }
    }
    if (movesByCharOrWord(event)) {
        moveOverRows(event);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void InputBox::moveOverRows(QKeyEvent *event)
{
    const int from = textCursor().position();
    QPlainTextEdit::keyPressEvent(event);
    const int to = textCursor().position();
    if (to != from && InputRows::firstOfPlace(*document(), qMax(from, to)) == qMin(from, to))
        QPlainTextEdit::keyPressEvent(event);
}

std::pair<int, int> InputBox::cursorLine() const
{
    return InputRows::lineAround(*document(), textCursor().position());
}

void InputBox::sendCursorLine()
{
    const auto [from, to] = cursorLine();
    const QString line = InputRows::text(*document(), from, to);
    if (line.isEmpty() || !m_sendLine)
        return;
    if (m_sendLine(line))
        m_history.remember(line);
}

void InputBox::browse(bool older)
{
    const auto [from, to] = cursorLine();
    // Browsing goes on only on the line where it began.
    if (from != m_browsedLine)
        m_history.stopBrowsing();
    const std::optional<QString> shown =
        older ? m_history.older(InputRows::text(*document(), from, to)) : m_history.newer();
    if (!shown || isReadOnly())
        return;
    m_browsedLine = from;
    QTextCursor cursor(document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    InputRows::insert(cursor, *shown);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void InputBox::contextMenuEvent(QContextMenuEvent *event)
{
    // The text box's own entries, in the language of Qt's installed translation, then the
    // file; the window does the sending.
    QMenu *menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("发送文件…")), &QAction::triggered, this,
            &InputBox::sendFileRequested);
    menu->popup(event->globalPos());
}

QMimeData *InputBox::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto *data = new QMimeData;
    data->setText(InputRows::text(*document(), cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

void InputBox::insertFromMimeData(const QMimeData *source)
{
    if (isReadOnly() || !source || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    InputRows::insert(cursor, source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}
