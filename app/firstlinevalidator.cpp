#include "firstlinevalidator.h"

#include <QLineEdit>

FirstLineValidator::FirstLineValidator(QLineEdit *box) : QValidator(box), m_last(box->text())
{
    // The box's own text is cut too, so that the invariant holds from the start.
    if (firstLineLength(m_last) < m_last.size()) {
        m_last.truncate(firstLineLength(m_last));
        box->setText(m_last);
    }
}

qsizetype FirstLineValidator::firstLineLength(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if (unit == u'\r' || unit == u'\n')
            return i;
    }
    return text.size();
}

QValidator::State FirstLineValidator::validate(QString &input, int &pos) const
{
    if (firstLineLength(input) == input.size()) {
        m_last = input;
        return Acceptable;
    }

    // What was typed, pasted or dropped ends at the cursor and starts where the text first
    // differs from what the box held; that holds no line break, so the new part is where
    // the break came in. Of the new part only its first line is kept.
    const qsizetype end = qBound(qsizetype(0), qsizetype(pos), input.size());
    qsizetype start = 0;
    const qsizetype common = qMin(end, m_last.size());
    while (start < common && input.at(start) == m_last.at(start))
        ++start;
    QString inserted = input.mid(start, end - start);
    inserted.truncate(firstLineLength(inserted));

    QString kept = input.left(start) + inserted + input.mid(end);
    kept.truncate(firstLineLength(kept)); // whatever else might hold a break
    pos = int(qMin(start + inserted.size(), kept.size()));
    input = kept;
    m_last = input;
    return Acceptable;
}
