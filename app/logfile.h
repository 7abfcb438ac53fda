#pragma once

#include <QString>

// Keeping a log: its text written to a file the person chose.
namespace LogFile {

// Writes `text` as UTF-8, character for character, to `path`. The file is replaced only
// once everything is written: a failure leaves what was there before. On failure returns
// false and says why in *why.
bool save(const QString &path, const QString &text, QString *why);

} // namespace LogFile
