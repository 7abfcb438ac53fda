#pragma once

#include <QList>
#include <QString>

// Running simulated modules announce themselves in a folder of the user's runtime
// location, so that a scan can list them after the machine's real ports. Each module
// holds a lock file there while it runs; an entry whose lock can be taken belongs to a
// module that is gone and is skipped.
namespace SimRegistry {

struct Entry
{
    QString portName;     // the path of the pseudo-terminal's slave side
    QString friendlyName; // "ESP8266 模拟模块 (<path>)"
};

QString directory();
QList<Entry> running();

} // namespace SimRegistry
