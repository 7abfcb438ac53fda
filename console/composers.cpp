#include "composers.h"
// stub: to be written
namespace Composers {
std::optional<QString> workingMode(const QString &) { return std::nullopt; }
QString serverTimeout(const QString &) { return {}; }
QString joinAccessPoint(const QString &, const QString &) { return {}; }
std::optional<QString> softAccessPoint(const QString &, const QString &, const QString &) { return std::nullopt; }
QString server(const QString &) { return {}; }
std::optional<QString> client(const QString &, const QString &, const QString &) { return std::nullopt; }
QString sendAnnouncement(qsizetype) { return {}; }
} // namespace Composers
