#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Keeping a log: its text written to a file the person chose.
namespace LogFile {

// Writes the bytes `next` gives, a piece at a time, to `path`: next fills its argument with
// the next piece and returns true, or returns false once there is no more. The file is
// replaced only once everything is written: a failure leaves what was there before. On
// failure returns false and says why in *why.
bool save(const QString &path, const std::function<bool(QByteArray &)> &next, QString *why);

} // namespace LogFile
