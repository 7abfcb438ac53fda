#pragma once

#include <QClipboard>
#include <QString>
#include <QValidator>

class QLineEdit;

// Keeps a single-line box (or a list's edit field) to one line of visible text, as a
// native single-line box does. It is the box's validator, and it watches the box's pastes
// (keys, context menu, middle button), drops and undo steps: text pasted, dropped or set
// keeps only its first line, and a CR, an LF or any other control character can never
// stay in the box (a tab becomes a blank), nor can a character that shows nothing itself
// (format characters such as zero-width blanks and direction overrides, line and
// paragraph separators): what the box shows, in its order, is what goes out. Everything
// else is left exactly as typed. A paste or a drop that has to be cut goes in already cut,
// through the box's own editing, so it is one step that undo takes back and redo puts in
// again, like any other paste.
class OneLineGuard : public QValidator
{
    Q_OBJECT
public:
    // Watches the box's text and its pastes and drops from now on; the box takes ownership.
    explicit OneLineGuard(QLineEdit *box);

    State validate(QString &input, int &pos) const override;

    // Where the first line of a text ends: at its first CR or LF, or at its end.
    static qsizetype firstLineLength(const QString &text);
    // What a one-line box keeps of a text put into it: its first line, as shownInOneLine().
    static QString keptOfPaste(const QString &text);
    // A text as a one-line box shows it whole: tabs as blanks, every other control
    // character (line breaks too) and every character that shows nothing removed. A box
    // keeps such a text unchanged.
    static QString shownInOneLine(QStringView text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Pastes the clipboard's text as the box would, cut to what it keeps. False when the
    // text needs no cutting and the box's own paste can take it.
    bool pasteKept(QClipboard::Mode mode);
    void insertAsOneStep(const QString &text);
    void startNewStep();

    QLineEdit *m_box;
    mutable QString m_last; // the box's text after the last change
};
