#pragma once

#include <QString>

// The system's errors as the person reads them: the cause in Chinese, then the system's
// own words beside it ("磁盘空间已满（No space left on device）"). The port's failures and
// the log files' both tell their causes through here.
namespace SystemError {

// For the system's error number (errno); the system's words alone for an error not known here.
QString described(int code);

// For the system's words for an error (all that the port component gives); the words
// alone when they are no error known here.
QString describedText(const QString &systemText);

} // namespace SystemError
