#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Keeping a log: its text written to a file the person chose.
namespace LogFile {

// Writes `text` as UTF-8, character for character, to `path`. The file is replaced only
// once everything is written: a failure leaves what was there before. On failure returns
// false and says why in *why.
bool save(const QString &path, const QString &text, QString *why);

// The same with the bytes given a piece at a time: next fills its argument with the next
// piece and returns true, or returns false once there is no more.
bool save(const QString &path, const std::function<bool(QByteArray &)> &next, QString *why);

} // namespace LogFile
