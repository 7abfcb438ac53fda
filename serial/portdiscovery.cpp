#include "portdiscovery.h"
// stub: to be written
QString friendlyNameFor(const QString &, const QString &portName) { return portName; }
QList<PortEntry> discoverPorts() { return {}; }
QList<PortEntry> systemPorts() { return {}; }
QString PortReport(const QList<PortEntry> &) { return {}; }
