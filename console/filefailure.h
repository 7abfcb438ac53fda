#pragma once

#include <QByteArrayView>
#include <QString>

class QFileDevice;

// Why a file could not be written, said so that the person can act on it: the cause in
// Chinese, then the system's own words ("磁盘空间已满（No space left on device）"). Saving a
// log and recording one into a file both tell their failures through here.
namespace FileFailure {

// The cause for the system's error number (errno), or for a failure it gave no number for
// (0), the file's own account of it.
QString reason(int systemError, const QString &fileText);

// Writes all of `bytes` to `file`, a piece at a time as the system takes them. On failure
// returns false with the reason in *why.
bool writeAll(QFileDevice &file, QByteArrayView bytes, QString *why);

// Asks the system to put what was written on the disk (where it can be asked). On failure
// returns false with the reason in *why.
bool sync(QFileDevice &file, QString *why);

} // namespace FileFailure
