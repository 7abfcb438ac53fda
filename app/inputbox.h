#pragma once

#include "commandhistory.h"

#include <QPlainTextEdit>
#include <QString>

#include <functional>
#include <utility>

class QMimeData;

// The input box: a multi-line text box whose text goes out with "AT发送" and "文本发送",
// and from which a typed command line goes out with a key.
//
// Keys beyond those of any text box:
// - Ctrl+Enter (either Enter key) sends the line the cursor is on as one command line;
//   an empty line sends nothing. The text stays as it is.
// - Ctrl+Up and Ctrl+Down put the command lines sent that way back in place of the
//   cursor's line, older and newer (see CommandHistory).
// Its context menu is the text box's own with "发送文件…" added.
//
// A long line is held in rows (see InputRows), so an edit costs the same in a line of a
// million characters as in a short one. What the box holds, sends, copies and drags is the
// text as typed and pasted, without the rows; undo and redo step over whole edits.
class InputBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit InputBox(QWidget *parent = nullptr);

    // The text the box holds, line breaks as "\n".
    QString typedText() const;

    // How a command line goes out: true when it went. Set by the window.
    void setLineSender(std::function<bool(const QString &line)> send)
    {
        m_sendLine = std::move(send);
    }

signals:
    // "发送文件…" was chosen in the context menu.
    void sendFileRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void sendCursorLine();
    void browse(bool older);
    // Where the cursor's line starts and ends in the document.
    std::pair<int, int> cursorLine() const;
    // Lets the text box handle a key that moves the cursor by a character or a word, again
    // when it only crossed from one row of a line to the next.
    void moveOverRows(QKeyEvent *event);
    // An edit that emptied a row of a longer line leaves an empty line on the screen where
    // the text has none: the row goes, as part of the same edit.
    void dropEmptyRows();

    std::function<bool(const QString &)> m_sendLine;
    CommandHistory m_history;
    int m_browsedLine = -1; // where the line being browsed starts in the document
    int m_editedAt = -1;    // where the last edit was, until its rows are looked at
};
