#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

// Keeps a single-line box (or a list's edit field) to one line, as a native single-line
// box does: text pasted, dropped or set keeps only its first line, and a CR or LF can never
// stay in the box. Everything else is left exactly as typed.
class FirstLineValidator : public QValidator
{
    Q_OBJECT
public:
    // Watches the box's text from now on; the box takes ownership.
    explicit FirstLineValidator(QLineEdit *box);

    State validate(QString &input, int &pos) const override;

    // Where the first line of a text ends: at its first CR or LF, or at its end.
    static qsizetype firstLineLength(const QString &text);

private:
    mutable QString m_last; // the box's text after the last change
};
